#include "InitAndConfigThread.h"

#include "IniFile.h"
#include "LedIndicator.h"
#include "MessageDialog.h"
#include "QVXMMainForm.h"
#include "StoredSettings.h"

#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMetaObject>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <utility>

namespace {

const QString MessageCaption = QStringLiteral("Сообщение TInitAndConfigThread::Execute()!!!");
const QString ModuleKindName = QStringLiteral("QVXM");
const QColor Lime(0, 255, 0);
const QColor Red(255, 0, 0);

QString SerialText(const TMainForm::QvxSerial &serial)
{
    return QString::fromLatin1(serial.data(), qsizetype(qstrnlen(serial.data(), serial.size())));
}

// Copies a zero-terminated text of at most 15 characters; the 16th byte is always zero.
void CopySerial(char *to, const char *from)
{
    std::memset(to, 0, QVX_SERIAL_LEN);
    std::memcpy(to, from, qstrnlen(from, QVX_SERIAL_LEN - 1));
}

QColor ButtonFace()
{
    return QApplication::palette().color(QPalette::Button);
}

// The widget's font at the designed size, or smaller until `text` fits into `room` pixels:
// serial numbers and module items are longer on some crates than the designed fields.
void FitFont(QWidget *widget, const QString &text, int room)
{
    const char *const designedSize = "designedPointSize";
    if (!widget->property(designedSize).isValid())
        widget->setProperty(designedSize, widget->font().pointSizeF());
    QFont font = widget->font();
    font.setPointSizeF(widget->property(designedSize).toDouble());
    while (font.pointSizeF() > 6.0 && QFontMetrics(font).horizontalAdvance(text) > room)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    widget->setFont(font);
}

int TextRoom(const QLabel *label)
{
    return label->contentsRect().width() - 2 * label->margin() - 2;
}

int TextRoom(const QComboBox *box)
{
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = box->isEditable();
    return box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box).width() - 4;
}

// A failure that says the server itself is gone or hangs, not just this one module.
bool ServerLost(std::int32_t status)
{
    return status == QVX_ERR_CONNECT || status == QVX_ERR_TIMEOUT || status == QVX_ERR_CLOSED
           || status == QVX_ERR_PROTOCOL;
}

} // namespace

TInitAndConfigThread::TInitAndConfigThread(TMainForm *form, std::uint16_t mode, bool readStored)
    : Mode(mode), ReadStored(readStored), Form(form)
{
}

TInitAndConfigThread::~TInitAndConfigThread() = default;

template <class Step> void TInitAndConfigThread::Synchronize(Step &&step)
{
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        Form,
        [&step, &failure] {
            try {
                step();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure)
        std::rethrow_exception(failure);
}

template <class Call> auto TInitAndConfigThread::ServeEventsDuring(Call &&call)
{
    auto result = std::async(std::launch::async, std::forward<Call>(call));
    if (result.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
        // The operator's input waits until the step is over; a close request finds the window
        // busy and leaves the module alone while the call still uses it.
        const bool wasBusy = std::exchange(Form->HandlerBusy, true);
        do
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        while (result.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready);
        Form->HandlerBusy = wasBusy;
    }
    return result.get();
}

void TInitAndConfigThread::Execute()
{
    Form->InitDevicesThreadRunning = true;
    MessageShown = false;
    try {
        msleep(50);
        Synchronize([this] { Prepare(); });
        msleep(100);
        msleep(100);
        if (!MessageShown) {
            Synchronize([this] { RestoreWindowPosition(); });
            msleep(100);
            bool failed = false;
            switch (Mode) {
            case dmFullSearch:
                Synchronize([this] { SearchCrates(); });
                msleep(100);
                if (!MessageShown) {
                    // A module that does not open now is shown only by its indicator.
                    if (Form->ModuleState == 1)
                        OpenSelectedModule();
                    msleep(100);
                }
                Synchronize([this] { ShowStatus(true); });
                msleep(100);
                break;
            case dmModuleChanged:
                if (!OpenSelectedModule()) {
                    MessageText = QStringLiteral("Не могу проинициализировать модуль в указанном слоте!");
                    failed = true;
                }
                break;
            case dmCrateChanged:
                Synchronize([this] { RefillModuleList(); });
                if (OpenSelectedModule()) {
                    Form->CrateListValid = 1;
                } else {
                    MessageText = QStringLiteral("Не могу проинициализировать QVX крейт с модулями в указанном слоте!");
                    failed = true;
                }
                break;
            default:
                break;
            }
            if (Mode == dmModuleChanged || Mode == dmCrateChanged) {
                if (failed)
                    Synchronize([this] { ShowMessage(); });
                // The indicators tell the outcome after a failure too, not "pending" for ever.
                Synchronize([this] { ShowStatus(true); });
                if (!failed)
                    msleep(100);
            }
            if (!MessageShown) {
                Synchronize([this] { ApplySettings(); });
                msleep(100);
            }
        }
    } catch (...) {
        MessageText = QStringLiteral("Опаньки!!! Поймали неустранимое исключение!!!\nСрочно сообщите разработчику!");
        try {
            Synchronize([this] {
                ShowMessage();
                Form->ResetDiscoveryState();
            });
        } catch (...) {
            // The window is told nothing more; Finish still gives it its controls back.
        }
    }
    msleep(100);
    Synchronize([this] { Finish(); });
}

void TInitAndConfigThread::Prepare()
{
    auto &ui = Form->ui;
    // No pop-up menu while the run changes the window under it.
    Form->setContextMenuPolicy(Qt::NoContextMenu);
    ui.MainLMDPageControl->setEnabled(false);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    CursorOverridden = true;

    Form->HandlerBusy = true;
    ui.MainLMDPageControl->setCurrentIndex(0);
    ui.StartMultimeterLMDSimplePanel->hide();
    Form->HandlerBusy = false;

    // Without a settings file the run still searches, with no remembered location.
    if (OpenSettingsFile())
        ReadLocation();

    if (Mode < dmModuleChanged || Mode > dmFullSearch)
        return;
    Form->HandlerBusy = true;
    Form->SetControlsEnabled(ui.ModuleDetectionLMDGroupBox, false);
    Form->SetControlsEnabled(ui.MainLMDSimplePanel, false);
    Form->HandlerBusy = false;
    switch (Mode) {
    case dmFullSearch:
        Form->ResetDiscoveryState();
        break;
    case dmModuleChanged:
        Form->ModuleState = 0;
        break;
    case dmCrateChanged:
        Form->CrateListValid = 0;
        break;
    default:
        break;
    }
    ShowStatus(false);
}

bool TInitAndConfigThread::OpenSettingsFile()
{
    const QString path = Form->SettingsPath();
    SettingsFile.reset();
    if (!QFileInfo::exists(path)) {
        // The defaults go straight into the new file, which appears whole or not at all.
        try {
            if (!Form->CreateDefaultIniFile(path))
                return false;
        } catch (const IniError &) {
            MessageText = QStringLiteral("Не могу создать файл настроек!");
            ShowMessage();
            return false;
        }
        if (!QFileInfo::exists(path)) {
            MessageText = QStringLiteral("Не могу создать файл настроек!");
            ShowMessage();
            return false;
        }
    }
    try {
        SettingsFile = std::make_unique<IniFile>(path);
    } catch (const std::exception &) {
        MessageText = QStringLiteral("Не могу выделить память под файл настроек!");
        ShowMessage();
        return false;
    }
    return true;
}

void TInitAndConfigThread::ReadLocation()
{
    if (ReadStored || Form->SelectedCrate == TMainForm::NoCrate) {
        const StoredModuleLocation stored = loadModuleLocation(*SettingsFile);
        Location.CrateSerial = stored.crateSerial;
        Location.Slot = stored.slot >= 1 && stored.slot <= QVX_SLOT_COUNT ? std::int16_t(stored.slot) : std::int16_t(-1);
        return;
    }
    const std::uint16_t crate = Form->SelectedCrate;
    if (crate >= QVX_MAX_CRATES)
        return;
    Location.CrateSerial = SerialText(Form->QvxmCrateSerials[crate]);
    const std::uint16_t module = Form->SelectedModule[crate];
    Location.Slot = module < QVX_SLOT_COUNT ? std::int16_t(Form->QvxmSlots[crate][module]) : std::int16_t(-1);
}

void TInitAndConfigThread::RestoreWindowPosition()
{
    if (!ReadStored || !SettingsFile)
        return;
    const WindowPosition stored = loadWindowPosition(*SettingsFile);
    QPoint position = Form->pos();
    if (stored.top != -1)
        position.setY(stored.top);
    if (stored.left != -1)
        position.setX(stored.left);
    Form->move(position);
}

void TInitAndConfigThread::SearchCrates()
{
    MessageShown = false;
    if (FindModules())
        Form->ModuleState = 1;
}

bool TInitAndConfigThread::FindModules()
{
    auto &ui = Form->ui;
    ui.ModulesComboBox->clear();
    ui.ModulesComboBox->setCurrentIndex(-1);
    ui.ModulesComboBox->setMaxVisibleItems(0);

    if (!ListCrates())
        return false;
    if (Form->QvxmCrateCount == 0) {
        MessageText = QStringLiteral("Не могу найти ни одного QVX крейта\nгде бы был установлен модуль ") + ModuleKindName
                      + QStringLiteral("!");
        ShowMessage();
        return false;
    }

    std::uint16_t selected = 0;
    for (std::uint16_t k = 0; k < Form->QvxmCrateCount; ++k) {
        if (SerialText(Form->QvxmCrateSerials[k]) == Location.CrateSerial) {
            selected = k;
            break;
        }
    }
    Form->SelectedCrate = selected;
    Form->SelectedModule.fill(0);
    if (SerialText(Form->QvxmCrateSerials[selected]) == Location.CrateSerial) {
        for (std::uint16_t m = 0; m < Form->QvxmModuleCount[selected]; ++m) {
            if (Form->QvxmSlots[selected][m] == Location.Slot) {
                Form->SelectedModule[selected] = m;
                break;
            }
        }
    }

    QComboBox *crates = ui.QvxCratesComboBox;
    crates->setCurrentIndex(-1);
    crates->clear();
    for (std::uint16_t k = 0; k < Form->QvxmCrateCount; ++k)
        crates->addItem(QString::number(k + 1) + QStringLiteral(": ") + SerialText(Form->QvxmCrateSerials[k]));
    crates->setMaxVisibleItems(Form->QvxmCrateCount);
    QString longest;
    for (int k = 0; k < crates->count(); ++k)
        longest = std::max(longest, crates->itemText(k), [](const QString &a, const QString &b) { return a.size() < b.size(); });
    FitFont(crates, longest, TextRoom(crates));
    crates->setCurrentIndex(Form->SelectedCrate);
    Form->CrateListValid = 1;

    FillModuleList();

    TQVXM *module = &Form->Qvxm;
    const TMainForm::QvxSerial crateSerial = Form->QvxmCrateSerials[Form->SelectedCrate];
    const std::uint16_t slot = Form->QvxmSlots[Form->SelectedCrate][Form->SelectedModule[Form->SelectedCrate]];
    return ServeEventsDuring([module, crateSerial, slot] {
               if (QVXM_IsOpened(module) == QVX_OK)
                   QVXM_Close(module);
               QVXM_Init(module);
               return QVXM_Open(module, ServerAddress, ServerPort, crateSerial.data(), slot);
           })
           == QVX_OK;
}

bool TInitAndConfigThread::ListCrates()
{
    TMainForm &form = *Form;
    form.CrateSerials = {};
    char crates[QVX_MAX_CRATES][QVX_SERIAL_LEN];
    std::memset(crates, 0, sizeof crates);
    const bool listed = ServeEventsDuring([&crates] {
        TQVX server;
        QVX_Init(&server);
        server.Slot = 0;
        if (QVX_Open(&server) != QVX_OK || QVX_GetCrates(&server, crates) != QVX_OK)
            return false;
        QVX_Close(&server);
        return true;
    });
    if (!listed) {
        MessageText = QStringLiteral("Не могу найти ни одного QVX крейта!");
        ShowMessage();
        return false;
    }

    form.CrateCount = 0;
    while (form.CrateCount < QVX_MAX_CRATES && crates[form.CrateCount][0] != 0) {
        CopySerial(form.CrateSerials[form.CrateCount].data(), crates[form.CrateCount]);
        ++form.CrateCount;
    }
    auto moduleIds = form.CrateModuleIds;
    const auto serials = form.CrateSerials;
    const std::uint16_t crateCount = form.CrateCount;
    const bool modulesListed = ServeEventsDuring([&moduleIds, &serials, crateCount] {
        TQVX crate;
        QVX_Init(&crate);
        crate.Slot = 0;
        for (std::uint16_t i = 0; i < crateCount; ++i) {
            CopySerial(crate.CrateSerial, serials[i].data());
            if (QVX_Open(&crate) != QVX_OK || QVX_GetCrateModules(&crate, moduleIds[i].data()) != QVX_OK)
                return false;
            QVX_Close(&crate);
        }
        return true;
    });
    form.CrateModuleIds = moduleIds;
    if (!modulesListed)
        return false;

    form.QvxmCrateCount = 0;
    form.QvxmCrateSerials = {};
    form.QvxmSlots = {};
    form.QvxmModuleCount = {};
    form.QvxmModuleSerials = {};
    TQVXM *module = &form.Qvxm;
    std::uint16_t j = 0;
    bool serverLost = false;
    for (std::uint16_t i = 0; i < crateCount && !serverLost; ++i) {
        for (std::uint16_t k = 0; k < QVX_SLOT_COUNT && !serverLost; ++k) {
            if (form.CrateModuleIds[i][k] != QVX_MODULE_ID_QVXM)
                continue;
            const TMainForm::QvxSerial crateSerial = form.CrateSerials[i];
            const std::uint16_t slot = k + 1;
            char moduleSerial[QVX_SERIAL_LEN] = {};
            const std::int32_t status = ServeEventsDuring([module, crateSerial, slot, &moduleSerial] {
                if (QVXM_IsOpened(module) == QVX_OK)
                    QVXM_Close(module);
                const std::int32_t opened = QVXM_Open(module, ServerAddress, ServerPort, crateSerial.data(), slot);
                if (opened == QVX_OK)
                    CopySerial(moduleSerial, module->ModuleSerial);
                return opened;
            });
            if (status == QVX_OK) {
                const std::uint16_t n = form.QvxmModuleCount[j]++;
                form.QvxmSlots[j][n] = slot;
                CopySerial(form.QvxmModuleSerials[j][n].data(), moduleSerial);
            }
            // A server that is gone or hangs answers no later slot either; asking each of
            // them would only keep the window waiting.
            serverLost = ServerLost(status);
        }
        if (form.QvxmModuleCount[j] > 0) {
            form.QvxmCrateSerials[j] = form.CrateSerials[i];
            ++j;
        }
    }
    form.QvxmCrateCount = j;
    ServeEventsDuring([module] {
        if (QVXM_IsOpened(module) == QVX_OK)
            QVXM_Close(module);
        return 0;
    });
    return true;
}

void TInitAndConfigThread::RefillModuleList()
{
    TQVXM *module = &Form->Qvxm;
    ServeEventsDuring([module] {
        if (QVXM_IsOpened(module) == QVX_OK)
            QVXM_Close(module);
        return 0;
    });
    FillModuleList();
}

void TInitAndConfigThread::FillModuleList()
{
    QComboBox *modules = Form->ui.ModulesComboBox;
    modules->setCurrentIndex(-1);
    modules->clear();
    const std::uint16_t crate = Form->SelectedCrate;
    if (crate >= Form->QvxmCrateCount || crate >= QVX_MAX_CRATES)
        return;
    const std::uint16_t count = Form->QvxmModuleCount[crate];
    for (std::uint16_t m = 0; m < count; ++m)
        modules->addItem(QStringLiteral("Слот ") + QString::number(Form->QvxmSlots[crate][m]) + QStringLiteral(": ")
                         + ModuleKindName);
    modules->setMaxVisibleItems(count);
    QString longest;
    for (int m = 0; m < modules->count(); ++m)
        longest = std::max(longest, modules->itemText(m), [](const QString &a, const QString &b) { return a.size() < b.size(); });
    FitFont(modules, longest, TextRoom(modules));
    modules->setCurrentIndex(Form->SelectedModule[crate] < count ? Form->SelectedModule[crate] : -1);
}

bool TInitAndConfigThread::OpenSelectedModule()
{
    OpenedModuleName.clear();
    TQVXM *module = &Form->Qvxm;
    if (QVXM_IsOpened(module) == QVX_OK)
        QVXM_Close(module);
    // The module that was open is closed now, whatever the new one does.
    if (Form->ModuleState == 2)
        Form->ModuleState = 0;
    QVXM_Init(module);
    // A request that came before any search has no crate to open.
    if (!Form->HasSelectedModule())
        return false;
    const std::uint16_t crate = Form->SelectedCrate;
    const std::uint16_t slot = Form->QvxmSlots[crate][Form->SelectedModule[crate]];
    if (QVXM_Open(module, ServerAddress, ServerPort, Form->QvxmCrateSerials[crate].data(), slot) != QVX_OK)
        return false;
    OpenedModuleName = QString::fromLatin1(module->ModuleName, qsizetype(qstrnlen(module->ModuleName, sizeof module->ModuleName)));
    Form->ModuleState = 2;
    return true;
}

void TInitAndConfigThread::ShowStatus(bool done)
{
    auto &ui = Form->ui;
    const bool wasBusy = std::exchange(Form->HandlerBusy, true);

    const QString caption = done ? QStringLiteral("QVXM_metr - %1.%2.%3")
                                       .arg(QVXM_VERSION_MAJOR)
                                       .arg(QVXM_VERSION_MINOR)
                                       .arg(QVXM_VERSION_PATCH)
                                 : Form->InitialCaption;
    Form->setWindowTitle(caption);
    QCoreApplication::setApplicationName(caption);

    if (!done && Mode == dmFullSearch)
        ui.QvxCratesComboBox->clear();
    if (Mode == dmCrateChanged || Mode == dmFullSearch) {
        if (!done) {
            ui.QvxCrateStatusLed->setColor(ButtonFace());
            ui.QvxCrateStatusLed->setToolTip(QStringLiteral("Статус QVX крейта -> ???"));
        } else if (Form->CrateListValid) {
            ui.QvxCrateStatusLed->setColor(Lime);
            ui.QvxCrateStatusLed->setToolTip(QStringLiteral("Статус QVX крейта -> OK"));
        } else {
            ui.QvxCrateStatusLed->setColor(Red);
            ui.QvxCrateStatusLed->setToolTip(QStringLiteral("Статус QVX крейта -> BAD"));
        }
    }
    if (Mode >= dmModuleChanged && Mode <= dmFullSearch) {
        if (!done && Mode == dmFullSearch)
            ui.ModulesComboBox->clear();
        if (OpenedModuleName.isEmpty())
            OpenedModuleName = QStringLiteral("???");
        const bool open = done && Form->ModuleState == 2;
        QString suffix;
        if (!done) {
            ui.ModuleStatusLed->setColor(ButtonFace());
            suffix = QStringLiteral("'-> ???");
        } else if (open) {
            ui.ModuleStatusLed->setColor(Lime);
            suffix = QStringLiteral("' -> OK");
        } else {
            ui.ModuleStatusLed->setColor(Red);
            suffix = QStringLiteral("' -> BAD");
        }
        ui.ModuleStatusLed->setToolTip(QStringLiteral("Статус модуля '") + OpenedModuleName + suffix);

        const TQVXM &module = Form->Qvxm;
        const QString serial =
            open ? QString::fromLatin1(module.ModuleSerial, qsizetype(qstrnlen(module.ModuleSerial, sizeof module.ModuleSerial)))
                 : QStringLiteral("????????");
        FitFont(ui.ModuleSerialNumberLMDLabel, serial, TextRoom(ui.ModuleSerialNumberLMDLabel));
        ui.ModuleSerialNumberLMDLabel->setText(serial);
        QLabel *firmware = ui.ModuleFirmwareVersionLMDLabel;
        if (open) {
            firmware->setText(QString::number(module.FirmwareVersion));
        } else {
            QPalette palette = firmware->palette();
            palette.setColor(QPalette::Window, ButtonFace());
            palette.setColor(QPalette::WindowText, Qt::black);
            firmware->setPalette(palette);
            firmware->setText(QStringLiteral("????????"));
        }
        firmware->update();
    }
    Form->HandlerBusy = wasBusy;
}

void TInitAndConfigThread::ShowMessage()
{
    if (MessageShown)
        return;
    MessageShown = true;
    MESSAGE_DIALOG_PARS pars;
    pars.Caption = MessageCaption;
    pars.Kind = mdError;
    pars.Buttons = QMessageBox::Ok;
    pars.ButtonCaptions = {QStringLiteral("Принято")};
    pars.Text = MessageText;
    DialogResult = MessageDialog(Form, pars);
}

void TInitAndConfigThread::ApplySettings()
{
    if (!Form->LoadIniFile(SettingsFile.get())) {
        MessageText = QStringLiteral("Не могу проинициализировать параметры работы приложения!");
        ShowMessage();
    }
}

void TInitAndConfigThread::Finish()
{
    auto &ui = Form->ui;
    Form->HandlerBusy = true;
    Form->SetControlsEnabled(ui.ModuleDetectionLMDGroupBox, true);
    ui.SaveSettingsButton->setEnabled(!ui.AutoSaveSettingsLMDCheckBox->isChecked());
    ui.ModuleDetectionLMDGroupBox->update();
    ui.MainLMDSimplePanel->setEnabled(true);
    ui.MainLMDPageControl->setEnabled(true);
    ui.MultimeterLMDTabSheet->setEnabled(true);
    if (Form->ModuleState == 2) {
        ui.AdcStreamLMDSimplePanel->setEnabled(true);
        Form->SetControlsEnabled(ui.AdcGroupParsLMDGroupBox, true);
        ui.AdcIndividualParsLMDGroupBox->setEnabled(true);
        ui.AdcIndividualParsLMDScrollBox->setEnabled(true);
        ui.AdcIndividualParsLMDSimplePanel->setEnabled(true);
        Form->EnableChannelFrames();
        ui.StartMultimeterLMDSpeedButton->setEnabled(true);
        ui.StartMultimeterLMDSimplePanel->show();
        ui.MultimeterLMDSimplePanel->setEnabled(true);
    }
    Form->HandlerBusy = false;
    SettingsFile.reset();
    // The pop-up menu is back once the run is over.
    Form->setContextMenuPolicy(Qt::CustomContextMenu);
    if (std::exchange(CursorOverridden, false))
        QGuiApplication::restoreOverrideCursor();
}
