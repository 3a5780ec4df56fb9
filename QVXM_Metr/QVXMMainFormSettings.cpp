// The settings file in the window: the default file, saving and loading, and their controls.
#include "QVXMMainForm.h"

#include "HandlerBusyGuard.h"
#include "IniFile.h"
#include "QVXMAdcChannelPanel.h"
#include "StoredSettings.h"
#include "ValueTables.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>

#include <optional>

namespace {

const QString CreateDefaultCaption = QStringLiteral("ОШИБКА CreateDefaultIniFile()!");
const QString SaveCaption = QStringLiteral("ОШИБКА SaveIniFile()!!!");

// The Save button stays disabled this long after a save, so that the operator sees it happen.
constexpr int SaveFeedbackMs = 500;

// The operation's own message first; below it what the system said, naming the file.
QString WithReason(const QString &message, const QString &reason)
{
    return reason.isEmpty() ? message : message + QStringLiteral("\n\n") + reason;
}

// Serial number of a crate item "1: <serial>"; nothing when the item carries none.
std::optional<QString> CrateSerialOfItem(const QString &item)
{
    const qsizetype colon = item.indexOf(QStringLiteral(": "));
    const QString serial = (colon < 0 ? item : item.mid(colon + 2)).trimmed();
    if (serial.isEmpty())
        return std::nullopt;
    return serial;
}

// Slot number of a module item "Слот 5: QVXM"; nothing when the item names no slot 1..16.
std::optional<int> SlotOfItem(const QString &item)
{
    static const QRegularExpression slotItem(QStringLiteral("^\\s*Слот\\s+(\\d{1,2})\\s*:"));
    const QRegularExpressionMatch match = slotItem.match(item);
    if (!match.hasMatch())
        return std::nullopt;
    const int slot = match.captured(1).toInt();
    if (slot < 1 || slot > 16)
        return std::nullopt;
    return slot;
}

} // namespace

bool TMainForm::CreateDefaultIniFile(const QString &path)
{
    SettingsFile.reset();
    if (path.isEmpty()) {
        QMessageBox::information(this, CreateDefaultCaption,
                                 QStringLiteral("Неправильное название файла штатных настроек!"));
        return false;
    }
    try {
        SettingsFile = std::make_unique<IniFile>(path);
    } catch (const IniError &error) {
        QMessageBox::information(
            this, CreateDefaultCaption,
            WithReason(QStringLiteral("Не могу создать файл штатных настроек '") + path + QStringLiteral("'!"),
                       error.message()));
        return false;
    }
    // A refused flush leaves the previous file whole, so a failed half loses nothing on disk.
    try {
        writeDefaultApplicationSettings(*SettingsFile);
        SettingsFile->flush();
    } catch (const IniError &error) {
        QMessageBox::information(
            this, CreateDefaultCaption,
            WithReason(QStringLiteral("Не могу создать файл обычных настроек для приложения!"), error.message()));
        return false;
    }
    try {
        writeDefaultModuleSettings(*SettingsFile);
        SettingsFile->flush();
    } catch (const IniError &error) {
        QMessageBox::information(
            this, CreateDefaultCaption,
            WithReason(QStringLiteral("Не могу создать файл обычных настроек для модуля!"), error.message()));
        return false;
    }
    return true;
}

void TMainForm::SaveIniFile(const QString &path)
{
    ApplicationSettingsToSave application;
    application.autoSave = ui.AutoSaveSettingsLMDCheckBox->isChecked();
    application.windowTop = y();
    application.windowLeft = x();
    if (ui.QvxCratesComboBox->currentIndex() >= 0) {
        application.crateSerial = CrateSerialOfItem(ui.QvxCratesComboBox->currentText());
        if (application.crateSerial && ui.ModulesComboBox->currentIndex() >= 0)
            application.moduleSlot = SlotOfItem(ui.ModulesComboBox->currentText());
    }

    ModuleSettingsToSave module;
    module.singleChannelRateIndex = ui.SingleChannelAdcRateComboBox->currentIndex();
    module.multiChannelRateIndex = ui.MultiChannelAdcRateComboBox->currentIndex();
    module.currentIndex = ui.CurrentValueLMDComboBox->currentIndex();
    module.allChannels = ui.AllChannelsLMDCheckBox->checkState() == Qt::Checked;
    module.commonRangeIndex = ui.CommonInputRangeLMDComboBox->currentIndex();
    module.commonMethodIndex = ui.CommonComputationMethodLMDComboBox->currentIndex();
    for (int c = 0; c < ChannelCount; ++c) {
        const TQvxmAdcChannelFrame *frame = ChannelFrames[c];
        module.channels[size_t(c)] = {frame->ChannelNumberLMDCheckBox->isChecked(),
                                      frame->InputRangeLMDComboBox->currentIndex(),
                                      frame->ComputationMethodLMDComboBox->currentIndex()};
    }

    SettingsFile.reset();
    QString openFailure;
    try {
        SettingsFile = std::make_unique<IniFile>(path);
    } catch (const IniError &error) {
        // An existing file that cannot be read is never overwritten: both halves report it.
        openFailure = error.message();
    }

    // Each half is reported on its own; the module half is tried even after the first failed.
    const auto writeHalf = [&](const QString &failureText, const auto &write) {
        if (!SettingsFile) {
            QMessageBox::information(this, SaveCaption, WithReason(failureText, openFailure));
            return;
        }
        try {
            write(*SettingsFile);
            SettingsFile->flush();
        } catch (const IniError &error) {
            QMessageBox::information(this, SaveCaption, WithReason(failureText, error.message()));
        }
    };
    writeHalf(QStringLiteral("Не могу сохранить файл настроек приложения!"),
              [&](IniFile &ini) { saveApplicationSettings(ini, application); });
    writeHalf(QStringLiteral("Не могу сохранить файл настроек модуля!"),
              [&](IniFile &ini) { saveModuleSettings(ini, module); });
}

bool TMainForm::LoadIniFile(IniFile *file)
{
    if (!file)
        return false;
    const IniFile &ini = *file;

    // Its change handler runs and enables or disables the Save button.
    ui.AutoSaveSettingsLMDCheckBox->setChecked(loadAutoSave(ini));

    SettingsListSizes sizes;
    sizes.singleChannelRates = ui.SingleChannelAdcRateComboBox->count();
    sizes.multiChannelRates = ui.MultiChannelAdcRateComboBox->count();
    sizes.supplyCurrents = ui.CurrentValueLMDComboBox->count();
    sizes.inputRanges = ui.CommonInputRangeLMDComboBox->count();
    sizes.computationMethods = ui.CommonComputationMethodLMDComboBox->count();
    const ModuleSettings stored = loadModuleSettings(ini, sizes);

    CalcMethod = stored.calcMethod;
    ui.ComputationModeLabLMDLabel->setText(CalcMethod);
    AmplitudeType = stored.amplitudeType;
    ui.AmplitudeTypeLabLMDLabel->setText(AmplitudeType);
    MaxAcqTime = stored.maxAcqTime;
    Precisions = stored.precision;
    DisplayFormats = stored.displayFormat;

    // The change handlers of the controls set below must not act on the half-loaded state.
    HandlerBusy = true;

    ui.AllChannelsLMDCheckBox->setCheckState(stored.allChannelsKey ? Qt::Checked : Qt::Unchecked);
    ui.CommonInputRangeLMDComboBox->setCurrentIndex(stored.commonRangeIndex);
    ui.CommonComputationMethodLMDComboBox->setCurrentIndex(stored.commonMethodIndex);

    int enabledCount = 0;
    for (int c = 0; c < ChannelCount; ++c) {
        TQvxmAdcChannelFrame *frame = ChannelFrames[c];
        const ChannelSettings &channel = stored.channels[size_t(c)];
        frame->ChannelNumberLMDCheckBox->setCheckState(channel.enabled ? Qt::Checked : Qt::Unchecked);
        if (frame->ChannelNumberLMDCheckBox->isChecked())
            ++enabledCount;
        frame->InputRangeLMDComboBox->setCurrentIndex(channel.rangeIndex);
        frame->ComputationMethodLMDComboBox->setCurrentIndex(channel.methodIndex);
        frame->Value1LMDEdit->setText(QString::fromLatin1(ValueTables::EmptyValueText));
        frame->Value2LMDEdit->setText(QString::fromLatin1(ValueTables::EmptyValueText));
    }

    // The posted event is handled after the busy flag is clear, and turns the list item into
    // the nearest value the module can realise.
    const auto selectAndReevaluate = [this](QComboBox *box, int index) {
        box->setCurrentIndex(index);
        box->setEditable(true);
        QCoreApplication::postEvent(this,
                                    new TMainFormMessage(MSG_COMBOBOX_CHANGE_TEXT, reinterpret_cast<qintptr>(box), 0));
    };
    selectAndReevaluate(ui.SingleChannelAdcRateComboBox, stored.singleChannelRateIndex);
    selectAndReevaluate(ui.MultiChannelAdcRateComboBox, stored.multiChannelRateIndex);

    ui.MultiChannelAdcRateComboBox->setVisible(enabledCount >= 2);
    ui.SingleChannelAdcRateComboBox->setVisible(enabledCount == 1);

    selectAndReevaluate(ui.CurrentValueLMDComboBox, stored.currentIndex);

    if (enabledCount == ChannelCount)
        ui.AllChannelsLMDCheckBox->setCheckState(Qt::Checked);
    else if (enabledCount == 0)
        ui.AllChannelsLMDCheckBox->setCheckState(Qt::Unchecked);
    else
        ui.AllChannelsLMDCheckBox->setCheckState(Qt::PartiallyChecked);

    HandlerBusy = false;

    if (ModuleState == 2) {
        CoefficientSource = loadCoefficientSource(ini);
        // The module's correction coefficients are loaded here once the coefficient tables exist.
    }
    return true;
}

void TMainForm::SaveSettingsButtonClick()
{
    HandlerBusyGuard guard(HandlerBusy);
    if (!guard)
        return;
    ui.SaveSettingsButton->setEnabled(false);
    SaveIniFile(SettingsPath());
    QEventLoop pause;
    QTimer::singleShot(SaveFeedbackMs, &pause, &QEventLoop::quit);
    pause.exec();
    ui.SaveSettingsButton->setEnabled(true);
}

void TMainForm::AutoSaveSettingsLMDCheckBoxChange()
{
    HandlerBusyGuard guard(HandlerBusy);
    if (!guard)
        return;
    ui.SaveSettingsButton->setEnabled(!ui.AutoSaveSettingsLMDCheckBox->isChecked());
}

void TMainForm::SaveDefaultSettingsClick()
{
    // The defaults reach the controls with the next load; the window keeps its values until then.
    CreateDefaultIniFile(SettingsPath());
}

void TMainForm::SaveCurrentSettingsClick()
{
    SaveSettingsButtonClick();
}
