// The settings file in the main window: what a save writes, what a load shows, the Save button,
// the auto-save box, the menu items, saving on close, and writes the system refuses.
#include "../settings/IniTestSupport.h"

#include "IniFile.h"
#include "QVXMAdcChannelPanel.h"
#include "QVXMMainForm.h"
#include "SettingsKeys.h"
#include "StoredSettings.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <array>
#include <bit>
#include <memory>

namespace {

using SettingsKeys::AllChannels;
using SettingsKeys::channelComputationMethodKey;
using SettingsKeys::channelEnabledKey;
using SettingsKeys::channelInputRangeKey;
using SettingsKeys::CommonComputationMethod;
using SettingsKeys::CommonInputRange;
using SettingsKeys::CurrentIndex;
using SettingsKeys::FileName;
using SettingsKeys::ModuleSection;
using SettingsKeys::MultiChannelRateIndex;
using SettingsKeys::SingleChannelRateIndex;

const QString CreateDefaultCaption = QStringLiteral("ОШИБКА CreateDefaultIniFile()!");
const QString SaveCaption = QStringLiteral("ОШИБКА SaveIniFile()!!!");
const QString EmptyValue = QStringLiteral("--------");

// Keeps the discovery worker from starting: its requests reach the window and end here.
class DiscoveryBlocker : public QObject {
public:
    explicit DiscoveryBlocker(QObject *form) : QObject(form) { form->installEventFilter(this); }

protected:
    bool eventFilter(QObject *, QEvent *event) override { return event->type() == MSG_START_INIT_DEVICES_THREAD; }
};

std::unique_ptr<TMainForm> makeForm(const QString &settingsPath)
{
    auto form = std::make_unique<TMainForm>(nullptr, settingsPath);
    new DiscoveryBlocker(form.get());
    return form;
}

struct ShownMessage {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers every message box that opens while it lives and keeps what the box said.
class MessageBoxRecorder : public QObject {
public:
    MessageBoxRecorder()
    {
        connect(&poll, &QTimer::timeout, this, &MessageBoxRecorder::answer);
        poll.start(10);
    }
    QList<ShownMessage> messages;

private:
    void answer()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        messages.append({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->close();
    }
    QTimer poll;
};

// The controls that a save writes and a load restores.
struct ControlState {
    quint16 enabled = 0; // bit c: channel c on
    std::array<int, ChannelCount> ranges{};
    std::array<int, ChannelCount> methods{};
    int commonRange = -1;
    int commonMethod = -1;
    Qt::CheckState all = Qt::Unchecked;
    int single = -1;
    int multi = -1;
    int current = -1;
    bool autoSave = false;
    bool operator==(const ControlState &) const = default;
};

QString describe(const ControlState &s)
{
    QString ranges, methods;
    for (int c = 0; c < ChannelCount; ++c) {
        ranges += QString::number(s.ranges[size_t(c)]) + u' ';
        methods += QString::number(s.methods[size_t(c)]) + u' ';
    }
    return QStringLiteral("on %1 ranges [%2] methods [%3] common %4/%5 all %6 rates %7/%8 current %9 auto %10")
        .arg(s.enabled, 16, 2, QChar(u'0'))
        .arg(ranges, methods)
        .arg(s.commonRange)
        .arg(s.commonMethod)
        .arg(int(s.all))
        .arg(s.single)
        .arg(s.multi)
        .arg(s.current)
        .arg(s.autoSave);
}

std::array<int, ChannelCount> digits(const char (&text)[ChannelCount + 1])
{
    std::array<int, ChannelCount> values{};
    for (int c = 0; c < ChannelCount; ++c)
        values[size_t(c)] = text[c] - '0';
    return values;
}

// A state as the group and channel handlers keep it: the group controls show what all
// channels share, or no selection and the greyed box when they differ.
ControlState consistentState(quint16 enabled, const char (&ranges)[ChannelCount + 1],
                             const char (&methods)[ChannelCount + 1], int single, int multi, int current,
                             bool autoSave)
{
    ControlState s;
    s.enabled = enabled;
    s.ranges = digits(ranges);
    s.methods = digits(methods);
    const auto shared = [](const std::array<int, ChannelCount> &values) {
        for (int v : values)
            if (v != values[0])
                return -1;
        return values[0];
    };
    s.commonRange = shared(s.ranges);
    s.commonMethod = shared(s.methods);
    const int on = std::popcount(enabled);
    s.all = on == ChannelCount ? Qt::Checked : on == 0 ? Qt::Unchecked : Qt::PartiallyChecked;
    s.single = single;
    s.multi = multi;
    s.current = current;
    s.autoSave = autoSave;
    return s;
}

ControlState readControls(const TMainForm &form)
{
    const auto &ui = form.ui;
    ControlState s;
    for (int c = 0; c < ChannelCount; ++c) {
        const TQvxmAdcChannelFrame *frame = form.ChannelFrames[c];
        if (frame->ChannelNumberLMDCheckBox->isChecked())
            s.enabled |= quint16(1u << c);
        s.ranges[size_t(c)] = frame->InputRangeLMDComboBox->currentIndex();
        s.methods[size_t(c)] = frame->ComputationMethodLMDComboBox->currentIndex();
    }
    s.commonRange = ui.CommonInputRangeLMDComboBox->currentIndex();
    s.commonMethod = ui.CommonComputationMethodLMDComboBox->currentIndex();
    s.all = ui.AllChannelsLMDCheckBox->checkState();
    s.single = ui.SingleChannelAdcRateComboBox->currentIndex();
    s.multi = ui.MultiChannelAdcRateComboBox->currentIndex();
    s.current = ui.CurrentValueLMDComboBox->currentIndex();
    s.autoSave = ui.AutoSaveSettingsLMDCheckBox->isChecked();
    return s;
}

// Sets the controls as the operator would leave them; the busy flag keeps the controls' own
// handlers out, the auto-save box is set afterwards so that its handler runs.
void setControls(TMainForm &form, const ControlState &s)
{
    auto &ui = form.ui;
    form.HandlerBusy = true;
    for (int c = 0; c < ChannelCount; ++c) {
        TQvxmAdcChannelFrame *frame = form.ChannelFrames[c];
        frame->ChannelNumberLMDCheckBox->setChecked((s.enabled >> c) & 1u);
        frame->InputRangeLMDComboBox->setCurrentIndex(s.ranges[size_t(c)]);
        frame->ComputationMethodLMDComboBox->setCurrentIndex(s.methods[size_t(c)]);
        frame->Value1LMDEdit->setText(QStringLiteral("12.3456"));
        frame->Value2LMDEdit->setText(QStringLiteral("0.0500"));
    }
    ui.CommonInputRangeLMDComboBox->setCurrentIndex(s.commonRange);
    ui.CommonComputationMethodLMDComboBox->setCurrentIndex(s.commonMethod);
    ui.AllChannelsLMDCheckBox->setCheckState(s.all);
    ui.SingleChannelAdcRateComboBox->setCurrentIndex(s.single);
    ui.MultiChannelAdcRateComboBox->setCurrentIndex(s.multi);
    ui.CurrentValueLMDComboBox->setCurrentIndex(s.current);
    form.HandlerBusy = false;
    ui.AutoSaveSettingsLMDCheckBox->setChecked(s.autoSave);
}

// Loads the file at `path` into the window as the discovery worker does at the end of a run.
bool load(TMainForm &form, const QString &path)
{
    IniFile ini(path);
    return form.LoadIniFile(&ini);
}

enum class RateBox { None, Single, Multi };

RateBox visibleRateBox(const TMainForm &form)
{
    const bool single = !form.ui.SingleChannelAdcRateComboBox->isHidden();
    const bool multi = !form.ui.MultiChannelAdcRateComboBox->isHidden();
    if (single && multi)
        return RateBox(-1);
    return single ? RateBox::Single : multi ? RateBox::Multi : RateBox::None;
}

RateBox rateBoxFor(quint16 enabled)
{
    const int on = std::popcount(enabled);
    return on == 0 ? RateBox::None : on == 1 ? RateBox::Single : RateBox::Multi;
}

void writeFixture(const QString &path, const QString &text)
{
    writeBytes(path, cp1251(text));
}

// The window's crate and module selectors as the discovery worker fills them.
void fillSelectors(TMainForm &form, int crate, int module)
{
    form.HandlerBusy = true;
    form.ui.QvxCratesComboBox->addItems({QStringLiteral("1: QVX0042"), QStringLiteral("2: QVX0043")});
    form.ui.QvxCratesComboBox->setCurrentIndex(crate);
    form.ui.ModulesComboBox->addItems({QStringLiteral("Слот 2: QVXM"), QStringLiteral("Слот 15: QVXM")});
    form.ui.ModulesComboBox->setCurrentIndex(module);
    form.HandlerBusy = false;
}

} // namespace

Q_DECLARE_METATYPE(ControlState)
Q_DECLARE_METATYPE(RateBox)

class TestFormSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void settingsSurviveSaveAndReload_data();
    void settingsSurviveSaveAndReload();
    void scalarValuesReachTheWindow_data();
    void scalarValuesReachTheWindow();
    void groupIndicesChooseChannelKeys_data();
    void groupIndicesChooseChannelKeys();
    void channelSwitchesAndRateBoxes_data();
    void channelSwitchesAndRateBoxes();
    void loadPostsRateAndCurrentReevaluation();
    void coefficientSourceOnlyWithOpenModule_data();
    void coefficientSourceOnlyWithOpenModule();
    void saveWritesLocationOnlyWhenSelected_data();
    void saveWritesLocationOnlyWhenSelected();
    void defaultsReplaceStoredValuesNotTheWindow();
    void saveButtonAndAutoSaveBox();
    void shortcutsReachTheMenuItems();
    void refusedWritesAreReportedAndLoseNothing_data();
    void refusedWritesAreReportedAndLoseNothing();
    void settingsSurviveRestart_data();
    void settingsSurviveRestart();
};

void TestFormSettings::settingsSurviveSaveAndReload_data()
{
    QTest::addColumn<ControlState>("state");
    QTest::newRow("all on, shared range and method")
        << consistentState(0xFFFF, "1111111111111111", "1111111111111111", 4, 4, 1, false);
    QTest::newRow("mixed channels, ranges and methods")
        << consistentState(0b1010'0000'0110'0001, "0101010101010101", "0011001100110011", 0, 2, 5, true);
    QTest::newRow("none on") << consistentState(0, "0000000000000000", "1010000000000001", 7, 0, 0, false);
    QTest::newRow("one on") << consistentState(1u << 15, "1111111111111111", "0000000000000000", 3, 4, 2, true);
    QTest::newRow("all on by hand, ranges differ")
        << consistentState(0xFFFF, "1111111100000000", "0000000000000000", 5, 1, 3, false);
    QTest::newRow("fifteen on") << consistentState(0x7FFF, "0000000000000000", "1111111111111110", 6, 3, 4, true);
}

void TestFormSettings::settingsSurviveSaveAndReload()
{
    QFETCH(ControlState, state);
    QTemporaryDir dir;
    const QString path = dir.filePath(FileName);
    const QString unknownLine = QStringLiteral("Чужой ключ = оставить как есть");
    writeFixture(path, QStringLiteral("[Модуль QVXM]\n%1\n").arg(unknownLine));

    {
        auto form = makeForm(path);
        QVERIFY(form->CreateDefaultIniFile(path));
        QVERIFY(load(*form, path));
        setControls(*form, state);
        form->move(123, 45);
        QCOMPARE(form->ui.SaveSettingsButton->isEnabled(), !state.autoSave);
        if (state.autoSave)
            form->ui.SaveCurrentSettings->trigger(); // the button is disabled: the menu saves
        else
            form->ui.SaveSettingsButton->click();
        QVERIFY(form->ui.SaveSettingsButton->isEnabled());
        QVERIFY(!form->HandlerBusy);
    }

    const IniFile saved(path);
    const WindowPosition position = loadWindowPosition(saved);
    QCOMPARE(position.top, 45);
    QCOMPARE(position.left, 123);
    QVERIFY(readBytes(path).contains(cp1251(unknownLine)));

    auto fresh = makeForm(path);
    QVERIFY(load(*fresh, path));
    const ControlState loaded = readControls(*fresh);
    QVERIFY2(loaded == state, qPrintable(QStringLiteral("\nloaded   %1\nexpected %2").arg(describe(loaded), describe(state))));
    QCOMPARE(fresh->ui.SaveSettingsButton->isEnabled(), !state.autoSave);
    QCOMPARE(visibleRateBox(*fresh), rateBoxFor(state.enabled));
    for (const TQvxmAdcChannelFrame *frame : fresh->ChannelFrames) {
        QCOMPARE(frame->Value1LMDEdit->text(), EmptyValue);
        QCOMPARE(frame->Value2LMDEdit->text(), EmptyValue);
    }
    QVERIFY(!fresh->HandlerBusy);
}

void TestFormSettings::scalarValuesReachTheWindow_data()
{
    QTest::addColumn<QString>("maxTimeLine");
    QTest::addColumn<double>("maxAcqTime");
    QTest::newRow("time key missing") << QString() << 1.0;
    QTest::newRow("time given") << QStringLiteral("АЦП. Mаксимальное время сбора данных, с=0.5\n") << 0.5;
    QTest::newRow("decimal comma") << QStringLiteral("АЦП. Mаксимальное время сбора данных, с=0,5\n") << 1.0;
}

void TestFormSettings::scalarValuesReachTheWindow()
{
    QFETCH(QString, maxTimeLine);
    QFETCH(double, maxAcqTime);
    QTemporaryDir dir;
    const QString path = dir.filePath(FileName);
    writeFixture(path, QStringLiteral("[Модуль QVXM]\n"
                                      "АЦП. Метод расчёта=sum\n"
                                      "АЦП. Тип амплитуды=amp\n"
                                      "АЦП. Входной диапазон 35.00 В. DC precision=12\n"
                                      "АЦП. Входной диапазон 35.00 В. AC precision=-1\n"
                                      "АЦП. Входной диапазон 35.00 В. FR precision=0\n"
                                      "АЦП. Входной диапазон 70.00 В. DC precision=2\n")
                           + maxTimeLine);

    auto form = makeForm(path);
    QVERIFY(load(*form, path));
    QCOMPARE(form->CalcMethod, QStringLiteral("sum"));
    QCOMPARE(form->ui.ComputationModeLabLMDLabel->text(), QStringLiteral("sum"));
    QCOMPARE(form->AmplitudeType, QStringLiteral("amp"));
    QCOMPARE(form->ui.AmplitudeTypeLabLMDLabel->text(), QStringLiteral("amp"));
    QCOMPARE(form->MaxAcqTime, maxAcqTime);

    // Indexed by kind (DC, AC, frequency) and input range (35, 70 mV); missing keys give 4.
    const std::array<std::array<std::uint16_t, 2>, 3> precisions{{{10, 2}, {10, 4}, {0, 4}}};
    const std::array<std::array<QString, 2>, 3> formats{{{QStringLiteral("0.0000000000"), QStringLiteral("0.00")},
                                                         {QStringLiteral("0.0000000000"), QStringLiteral("0.0000")},
                                                         {QStringLiteral("0."), QStringLiteral("0.0000")}}};
    QCOMPARE(form->Precisions, precisions);
    QCOMPARE(form->DisplayFormats, formats);
}

void TestFormSettings::groupIndicesChooseChannelKeys_data()
{
    QTest::addColumn<int>("storedRange");
    QTest::addColumn<int>("storedMethod");
    QTest::addColumn<int>("commonRange");
    QTest::addColumn<int>("commonMethod");
    QTest::newRow("both per channel") << -1 << -1 << -1 << -1;
    QTest::newRow("both shared") << 0 << 0 << 0 << 0;
    QTest::newRow("shared range, per-channel method") << 1 << -1 << 1 << -1;
    QTest::newRow("index beyond the list selects nothing") << 7 << 2 << -1 << -1;
}

void TestFormSettings::groupIndicesChooseChannelKeys()
{
    QFETCH(int, storedRange);
    QFETCH(int, storedMethod);
    QFETCH(int, commonRange);
    QFETCH(int, commonMethod);
    const auto channelRange = [](int c) { return c % 2; };
    const auto channelMethod = [](int c) { return c < 4 ? 0 : 1; };

    QTemporaryDir dir;
    const QString path = dir.filePath(FileName);
    {
        IniFile ini(path);
        writeDefaultModuleSettings(ini);
        ini.writeInteger(ModuleSection, CommonInputRange, storedRange);
        ini.writeInteger(ModuleSection, CommonComputationMethod, storedMethod);
        for (int c = 0; c < ChannelCount; ++c) {
            ini.writeInteger(ModuleSection, channelInputRangeKey(c + 1), channelRange(c));
            ini.writeInteger(ModuleSection, channelComputationMethodKey(c + 1), channelMethod(c));
        }
        ini.flush();
    }

    auto form = makeForm(path);
    QVERIFY(load(*form, path));
    QCOMPARE(form->ui.CommonInputRangeLMDComboBox->currentIndex(), commonRange);
    QCOMPARE(form->ui.CommonComputationMethodLMDComboBox->currentIndex(), commonMethod);
    for (int c = 0; c < ChannelCount; ++c) {
        const TQvxmAdcChannelFrame *frame = form->ChannelFrames[c];
        QCOMPARE(frame->InputRangeLMDComboBox->currentIndex(), commonRange == -1 ? channelRange(c) : commonRange);
        QCOMPARE(frame->ComputationMethodLMDComboBox->currentIndex(),
                 commonMethod == -1 ? channelMethod(c) : commonMethod);
    }
}

void TestFormSettings::channelSwitchesAndRateBoxes_data()
{
    QTest::addColumn<bool>("groupKey");
    QTest::addColumn<int>("channelKeys"); // bit c: key of channel c + 1
    QTest::addColumn<int>("expectedOn");
    QTest::addColumn<Qt::CheckState>("allChannels");
    QTest::addColumn<RateBox>("rateBox");
    QTest::newRow("group key on: channel keys not read") << true << 0x0001 << 0xFFFF << Qt::Checked << RateBox::Multi;
    QTest::newRow("group key off, every channel on") << false << 0xFFFF << 0xFFFF << Qt::Checked << RateBox::Multi;
    QTest::newRow("mixed") << false << 0x8003 << 0x8003 << Qt::PartiallyChecked << RateBox::Multi;
    QTest::newRow("exactly one") << false << 0x0100 << 0x0100 << Qt::PartiallyChecked << RateBox::Single;
    QTest::newRow("none") << false << 0x0000 << 0x0000 << Qt::Unchecked << RateBox::None;
}

void TestFormSettings::channelSwitchesAndRateBoxes()
{
    QFETCH(bool, groupKey);
    QFETCH(int, channelKeys);
    QFETCH(int, expectedOn);
    QFETCH(Qt::CheckState, allChannels);
    QFETCH(RateBox, rateBox);
    QTemporaryDir dir;
    const QString path = dir.filePath(FileName);
    {
        IniFile ini(path);
        ini.writeBool(ModuleSection, AllChannels, groupKey);
        for (int c = 0; c < ChannelCount; ++c)
            ini.writeBool(ModuleSection, channelEnabledKey(c + 1), (channelKeys >> c) & 1);
        ini.flush();
    }

    auto form = makeForm(path);
    // The change handlers of the controls that the load sets must find the window busy.
    QList<bool> busyInHandlers;
    for (TQvxmAdcChannelFrame *frame : form->ChannelFrames)
        connect(frame->ChannelNumberLMDCheckBox, &QCheckBox::stateChanged, form.get(),
                [&] { busyInHandlers << form->HandlerBusy; });
    connect(form->ui.AllChannelsLMDCheckBox, &QCheckBox::stateChanged, form.get(),
            [&] { busyInHandlers << form->HandlerBusy; });
    // Start from the opposite of what the file says, so that every box really changes.
    form->HandlerBusy = true;
    for (int c = 0; c < ChannelCount; ++c)
        form->ChannelFrames[c]->ChannelNumberLMDCheckBox->setChecked(!((expectedOn >> c) & 1));
    form->HandlerBusy = false;
    busyInHandlers.clear();

    QVERIFY(load(*form, path));
    int on = 0;
    for (int c = 0; c < ChannelCount; ++c) {
        if (form->ChannelFrames[c]->ChannelNumberLMDCheckBox->isChecked())
            on |= 1 << c;
    }
    QCOMPARE(on, expectedOn);
    QCOMPARE(form->ui.AllChannelsLMDCheckBox->checkState(), allChannels);
    QCOMPARE(visibleRateBox(*form), rateBox);
    QVERIFY(busyInHandlers.size() >= ChannelCount);
    QVERIFY(!busyInHandlers.contains(false));
    QVERIFY(!form->HandlerBusy);
}

void TestFormSettings::loadPostsRateAndCurrentReevaluation()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(FileName);
    {
        IniFile ini(path);
        writeDefaultModuleSettings(ini);
        ini.writeInteger(ModuleSection, SingleChannelRateIndex, 2);
        ini.writeInteger(ModuleSection, MultiChannelRateIndex, 3);
        ini.writeInteger(ModuleSection, CurrentIndex, 5);
        ini.flush();
    }
    auto form = makeForm(path);
    QVERIFY(!form->LoadIniFile(nullptr));

    struct Recorder : QObject {
        QList<qintptr> boxes;
        bool busyWhenHandled = false;
        TMainForm *form = nullptr;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == MSG_COMBOBOX_CHANGE_TEXT) {
                boxes << static_cast<TMainFormMessage *>(event)->WParam;
                busyWhenHandled = busyWhenHandled || form->HandlerBusy;
            }
            return false;
        }
    } recorder;
    recorder.form = form.get();
    form->installEventFilter(&recorder);

    form->HandlerBusy = true; // cleared by the load even when it was set before
    QVERIFY(load(*form, path));
    QVERIFY(!form->HandlerBusy);
    QCoreApplication::sendPostedEvents(form.get(), MSG_COMBOBOX_CHANGE_TEXT);
    const auto &ui = form->ui;
    QCOMPARE(recorder.boxes, (QList<qintptr>{reinterpret_cast<qintptr>(ui.SingleChannelAdcRateComboBox),
                                              reinterpret_cast<qintptr>(ui.MultiChannelAdcRateComboBox),
                                              reinterpret_cast<qintptr>(ui.CurrentValueLMDComboBox)}));
    QVERIFY(!recorder.busyWhenHandled);
    for (const QComboBox *box : {ui.SingleChannelAdcRateComboBox, ui.MultiChannelAdcRateComboBox,
                                 ui.CurrentValueLMDComboBox})
        QVERIFY(box->isEditable());
    QCOMPARE(ui.SingleChannelAdcRateComboBox->currentIndex(), 2);
    QCOMPARE(ui.MultiChannelAdcRateComboBox->currentIndex(), 3);
    QCOMPARE(ui.CurrentValueLMDComboBox->currentIndex(), 5);
    form->removeEventFilter(&recorder);
}

void TestFormSettings::coefficientSourceOnlyWithOpenModule_data()
{
    QTest::addColumn<int>("moduleState");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("expected");
    QTest::newRow("module open") << 2 << QStringLiteral("Источник загрузки корректировочных коэфф.=3\n") << 3;
    QTest::newRow("module open, key missing") << 2 << QString() << 1;
    QTest::newRow("module found, not open") << 1 << QStringLiteral("Источник загрузки корректировочных коэфф.=3\n")
                                            << -7;
    QTest::newRow("no module") << 0 << QStringLiteral("Источник загрузки корректировочных коэфф.=3\n") << -7;
}

void TestFormSettings::coefficientSourceOnlyWithOpenModule()
{
    QFETCH(int, moduleState);
    QFETCH(QString, line);
    QFETCH(int, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(FileName);
    writeFixture(path, QStringLiteral("[Приложение. Общие]\n") + line);
    auto form = makeForm(path);
    form->ModuleState = std::uint8_t(moduleState);
    form->CoefficientSource = -7;
    QVERIFY(load(*form, path));
    QCOMPARE(form->CoefficientSource, expected);
}

void TestFormSettings::saveWritesLocationOnlyWhenSelected_data()
{
    QTest::addColumn<int>("crate");
    QTest::addColumn<int>("module");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<int>("slot");
    QTest::newRow("nothing selected") << -1 << -1 << QStringLiteral("QVX0777") << 7;
    QTest::newRow("module without crate") << -1 << 1 << QStringLiteral("QVX0777") << 7;
    QTest::newRow("crate only") << 1 << -1 << QStringLiteral("QVX0043") << 7;
    QTest::newRow("crate and module") << 1 << 1 << QStringLiteral("QVX0043") << 15;
}

void TestFormSettings::saveWritesLocationOnlyWhenSelected()
{
    QFETCH(int, crate);
    QFETCH(int, module);
    QFETCH(QString, serial);
    QFETCH(int, slot);
    QTemporaryDir dir;
    const QString path = dir.filePath(FileName);
    writeFixture(path, QStringLiteral("[Приложение. Обнаружение]\nСерийный номер QVX крейта=QVX0777\nСлот модуля=7\n"));
    auto form = makeForm(path);
    fillSelectors(*form, crate, module);
    form->SaveIniFile(path);
    const StoredModuleLocation location = loadModuleLocation(IniFile(path));
    QCOMPARE(location.crateSerial, serial);
    QCOMPARE(location.slot, slot);
}

void TestFormSettings::defaultsReplaceStoredValuesNotTheWindow()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(FileName);
    const ControlState operatorState =
        consistentState(0x00F0, "0000111100001111", "0000000011111111", 1, 2, 3, true);
    const QString unknownLine = QStringLiteral("Заметка оператора=не трогать");
    writeFixture(path, QStringLiteral("[Приложение. Общие]\n%1\n").arg(unknownLine));

    auto form = makeForm(path);
    setControls(*form, operatorState);
    fillSelectors(*form, 0, 1);
    form->move(300, 200);
    form->SaveIniFile(path);
    QCOMPARE(loadModuleLocation(IniFile(path)).crateSerial, QStringLiteral("QVX0042"));

    form->HandlerBusy = true; // the menu item does not look at the busy flag
    form->ui.SaveDefaultSettings->trigger();
    QVERIFY(form->HandlerBusy);
    form->HandlerBusy = false;
    const ControlState shown = readControls(*form);
    QVERIFY2(shown == operatorState, qPrintable(describe(shown)));

    const IniFile stored(path);
    const StoredModuleLocation location = loadModuleLocation(stored);
    QCOMPARE(location.crateSerial, QString());
    QCOMPARE(location.slot, -1);
    QCOMPARE(loadWindowPosition(stored).top, -1);
    QVERIFY(readBytes(path).contains(cp1251(unknownLine)));

    // The next load brings the defaults into the window.
    auto fresh = makeForm(path);
    QVERIFY(load(*fresh, path));
    const ControlState defaults = consistentState(0xFFFF, "1111111111111111", "1111111111111111", 4, 4, 1, false);
    const ControlState loaded = readControls(*fresh);
    QVERIFY2(loaded == defaults, qPrintable(describe(loaded)));
    QCOMPARE(fresh->MaxAcqTime, 0.75);
}

void TestFormSettings::saveButtonAndAutoSaveBox()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(FileName);
    auto form = makeForm(path);
    auto &ui = form->ui;

    // Busy: neither the box's handler nor the button acts.
    form->HandlerBusy = true;
    ui.AutoSaveSettingsLMDCheckBox->setChecked(true);
    QVERIFY(ui.SaveSettingsButton->isEnabled());
    ui.SaveSettingsButton->click();
    QVERIFY(!QFileInfo::exists(path));
    ui.AutoSaveSettingsLMDCheckBox->setChecked(false);
    form->HandlerBusy = false;

    // The button is disabled and the window busy while the save shows itself.
    bool enabledDuringPause = true;
    bool busyDuringPause = false;
    QTimer::singleShot(0, form.get(), [&] {
        enabledDuringPause = ui.SaveSettingsButton->isEnabled();
        busyDuringPause = form->HandlerBusy;
    });
    ui.SaveSettingsButton->click();
    QVERIFY(!enabledDuringPause);
    QVERIFY(busyDuringPause);
    QVERIFY(ui.SaveSettingsButton->isEnabled());
    QVERIFY(!form->HandlerBusy);
    QVERIFY(!loadAutoSave(IniFile(path)));

    // Auto-save on disables the button; a save from the menu leaves it enabled afterwards.
    ui.AutoSaveSettingsLMDCheckBox->setChecked(true);
    QVERIFY(!ui.SaveSettingsButton->isEnabled());
    ui.SaveCurrentSettings->trigger();
    QVERIFY(ui.SaveSettingsButton->isEnabled());
    QVERIFY(loadAutoSave(IniFile(path)));
    ui.AutoSaveSettingsLMDCheckBox->setChecked(false);
    QVERIFY(ui.SaveSettingsButton->isEnabled());
}

void TestFormSettings::shortcutsReachTheMenuItems()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(FileName);
    auto form = makeForm(path);
    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));

    QTest::keyClick(form.get(), Qt::Key_D, Qt::ControlModifier);
    QTRY_VERIFY(QFileInfo::exists(path));
    QCOMPARE(loadModuleSettings(IniFile(path)).maxAcqTime, 0.75);

    form->HandlerBusy = true;
    form->ui.AllChannelsLMDCheckBox->setCheckState(Qt::Unchecked);
    form->HandlerBusy = false;
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(!IniFile(path).readBool(ModuleSection, AllChannels, true));
}

void TestFormSettings::refusedWritesAreReportedAndLoseNothing_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("messages"); // each text begins so and names the file
    const QStringList saveHalves{QStringLiteral("Не могу сохранить файл настроек приложения!"),
                                 QStringLiteral("Не могу сохранить файл настроек модуля!")};
    const QString defaultsFirstHalf = QStringLiteral("Не могу создать файл обычных настроек для приложения!");
    const QString noObject = QStringLiteral("Не могу создать файл штатных настроек '%1'!");
    for (const QString &operation : {QStringLiteral("button"), QStringLiteral("menu")}) {
        QTest::addRow("read-only file, %s", qPrintable(operation)) << "read-only file" << operation << saveHalves;
        QTest::addRow("no such directory, %s", qPrintable(operation)) << "no such directory" << operation
                                                                      << saveHalves;
    }
    QTest::newRow("path is a directory, save") << "directory" << "save" << saveHalves;
    QTest::newRow("read-only file, defaults") << "read-only file" << "defaults" << QStringList{defaultsFirstHalf};
    QTest::newRow("no such directory, defaults") << "no such directory" << "defaults"
                                                 << QStringList{defaultsFirstHalf};
    QTest::newRow("path is a directory, defaults") << "directory" << "defaults" << QStringList{noObject};
}

void TestFormSettings::refusedWritesAreReportedAndLoseNothing()
{
    QFETCH(QString, place);
    QFETCH(QString, operation);
    QFETCH(QStringList, messages);
    QTemporaryDir dir;
    QString path = dir.filePath(FileName);
    const QByteArray original = cp1251(QStringLiteral("[Модуль QVXM]\nАЦП. Индекс источника тока=3\n"));
    if (place == QLatin1String("read-only file")) {
        writeBytes(path, original);
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    } else if (place == QLatin1String("no such directory")) {
        path = dir.filePath(QStringLiteral("нет такого/") + FileName);
    } else {
        QVERIFY(QDir(dir.path()).mkdir(FileName));
    }

    auto form = makeForm(path);
    setControls(*form, consistentState(0x0003, "0000000000000000", "0000000000000000", 1, 1, 1, false));
    MessageBoxRecorder recorder;
    if (operation == QLatin1String("button"))
        form->ui.SaveSettingsButton->click();
    else if (operation == QLatin1String("menu"))
        form->ui.SaveCurrentSettings->trigger();
    else if (operation == QLatin1String("save"))
        form->SaveIniFile(path);
    else
        QVERIFY(!form->CreateDefaultIniFile(path));

    QCOMPARE(recorder.messages.size(), messages.size());
    for (int i = 0; i < messages.size(); ++i) {
        const ShownMessage &shown = recorder.messages[i];
        QCOMPARE(shown.title, operation == QLatin1String("defaults") ? CreateDefaultCaption : SaveCaption);
        const QString start = messages[i].contains(u'%') ? messages[i].arg(path) : messages[i];
        QVERIFY2(shown.text.startsWith(start), qPrintable(shown.text));
        // The operation's own text and, below it, what the system refused, naming the file.
        QVERIFY2(shown.text.count(path) >= (messages[i].contains(u'%') ? 2 : 1), qPrintable(shown.text));
        QCOMPARE(shown.icon, QMessageBox::Information);
        QCOMPARE(shown.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
    QVERIFY(form->ui.SaveSettingsButton->isEnabled());
    QVERIFY(!form->HandlerBusy);
    if (place == QLatin1String("read-only file"))
        QCOMPARE(readBytes(path), original);
    else if (place == QLatin1String("no such directory"))
        QVERIFY(!QFileInfo::exists(QFileInfo(path).path()));
    else
        QVERIFY(QFileInfo(path).isDir());
}

void TestFormSettings::settingsSurviveRestart_data()
{
    QTest::addColumn<bool>("autoSave");
    QTest::newRow("auto-save on") << true;
    QTest::newRow("auto-save off") << false;
}

void TestFormSettings::settingsSurviveRestart()
{
    QFETCH(bool, autoSave);
    QTemporaryDir dir;
    const QString path = dir.filePath(FileName);
    const ControlState changed =
        consistentState(0x0F0F, "0110011001100110", "1111000011110000", 6, 1, 4, autoSave);
    ControlState atStart;
    QByteArray before;
    {
        // First start: the discovery run finds no file, writes the defaults and loads them.
        auto form = makeForm(path);
        QVERIFY(form->CreateDefaultIniFile(path));
        QVERIFY(load(*form, path));
        atStart = readControls(*form);
        before = readBytes(path);
        setControls(*form, changed);
        form->close();
        QVERIFY(!form->SettingsFile);
    }
    auto restarted = makeForm(path);
    QVERIFY(load(*restarted, path));
    const ControlState loaded = readControls(*restarted);
    const ControlState expected = autoSave ? changed : atStart;
    QVERIFY2(loaded == expected, qPrintable(QStringLiteral("\nloaded   %1\nexpected %2").arg(describe(loaded), describe(expected))));
    if (!autoSave)
        QCOMPARE(readBytes(path), before);
}

QTEST_MAIN(TestFormSettings)
#include "test_form_settings.moc"
