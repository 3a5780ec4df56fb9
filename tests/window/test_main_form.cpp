// The main window: construction, layout, controller handshakes and guards, operator bindings.
#include "CaptionAboveCheckBox.h"
#include "EntryColors.h"
#include "InitAndConfigThread.h"
#include "LedIndicator.h"
#include "MainThread.h"
#include "QVXMAdcChannelPanel.h"
#include "QVXMMainForm.h"

#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <memory>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString StartCaption = QStringLiteral("С   Т   А   Р   Т");
const QString StopCaption = QStringLiteral("С   Т   О   П");

// Records the discovery requests that reach the window; optionally keeps them from running.
class DiscoverySpy : public QObject {
public:
    DiscoverySpy(QObject *form, bool swallowEvents) : swallow(swallowEvents) { form->installEventFilter(this); }
    QList<QPair<qintptr, qintptr>> requests;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != MSG_START_INIT_DEVICES_THREAD)
            return false;
        const auto *message = static_cast<TMainFormMessage *>(event);
        requests.append({message->WParam, message->LParam});
        return swallow;
    }

private:
    const bool swallow;
};

// Closes the message box that the code under test opens.
void AcceptNextMessageBox()
{
    QTimer::singleShot(0, [] {
        if (QWidget *box = QApplication::activeModalWidget())
            box->close();
    });
}

// A local port on which nothing listens, so that a discovery run finds no crate server.
uint16_t DeadPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    uint16_t port = 1;
    if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (s >= 0)
        ::close(s);
    return port;
}

// A settings file of its own for a window whose discovery runs.
QString FreshSettingsPath()
{
    static QTemporaryDir dir;
    static int count = 0;
    return dir.filePath(QStringLiteral("Qvxm_Metr_%1.ini").arg(++count));
}

void StartMeasurement(TMainForm &form)
{
    form.ui.StartMultimeterLMDSpeedButton->click();
    QVERIFY(form.MainThread != nullptr);
    QVERIFY(form.MainThreadRunning);
    QTRY_COMPARE(form.ui.StartMultimeterLMDSpeedButton->text(), StopCaption);
    QVERIFY(!form.MultimeterStopped);
}

void VerifyStopped(TMainForm &form)
{
    QVERIFY(form.MainThread == nullptr);
    QVERIFY(!form.MainThreadRunning);
    QVERIFY(form.MultimeterStopped);
    QVERIFY(!form.ui.StartMultimeterLMDSpeedButton->isChecked());
    QCOMPARE(form.ui.StartMultimeterLMDSpeedButton->text(), StartCaption);
}

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT

    QTimer dialogAnswer;

private Q_SLOTS:
    void initTestCase()
    {
        // The discovery runs of these tests find no server; their message is acknowledged.
        QVX_SetServerPortOverride(DeadPort());
        connect(&dialogAnswer, &QTimer::timeout, this, [] {
            QWidget *modal = QApplication::activeModalWidget();
            if (modal && modal->objectName() == QStringLiteral("MessageDialog"))
                if (auto *button = modal->findChild<QPushButton *>(QStringLiteral("MessageDialogButton0")))
                    button->click();
        });
        dialogAnswer.start(20);
    }

    void construction()
    {
        TMainForm form;
        auto &ui = form.ui;
        QCOMPARE(form.StartupStage, std::uint8_t(1));
        QVERIFY(!form.HandlerBusy);
        QVERIFY(form.InitDevicesIdle && form.StartThreadIdle && form.MultimeterStopped);
        QCOMPARE(form.SelectedCrate, std::uint16_t(0xFFFF));
        QCOMPARE(form.InitialCaption, QStringLiteral("QVXM_metr - ?.?.?"));
        QCOMPARE(form.ThreadPages, QList<QWidget *>{ui.MultimeterLMDTabSheet});
        QCOMPARE(ui.ModuleSerialNumberLMDLabel->text(), QStringLiteral("????????"));
        QCOMPARE(ui.ModuleFirmwareVersionLMDLabel->text(), QStringLiteral("??.??.??.??"));
        QCOMPARE(ui.ModuleStatusLed->toolTip(), QStringLiteral("Статус модуля -> ???"));
        QCOMPARE(ui.AcquisitionTimeLMDLabel->text(), QStringLiteral("-----"));
        QCOMPARE(ui.ComputationModeLabLMDLabel->text(), QStringLiteral("---"));

        // Value boxes: filled, nothing selected, drop-down length = item count.
        const QList<QPair<QComboBox *, QStringList>> boxes{
            {ui.CommonInputRangeLMDComboBox, {"  35 мВ", "  70 мВ"}},
            {ui.SingleChannelAdcRateComboBox,
             {"  2000.0000", "  5000.0000", " 10000.0000", " 15625.0000", " 20833.3333", " 31250.0000",
              " 41666.6667", " 50000.0000"}},
            {ui.MultiChannelAdcRateComboBox,
             {"  2000.0000", "  5000.0000", " 10000.0000", " 15000.0000", " 20000.0000"}},
            {ui.CurrentValueLMDComboBox, {"     5.00", "     7.00", "    10.00", "    14.00", "    21.00", "    25.00"}}};
        for (const auto &[box, items] : boxes) {
            QStringList shown;
            for (int i = 0; i < box->count(); ++i)
                shown << box->itemText(i);
            QCOMPARE(shown, items);
            QCOMPARE(box->currentIndex(), -1);
            QCOMPARE(box->maxVisibleItems(), items.size());
        }
        QCOMPARE(form.MultiChannelRates[3], 14999.999999999998);
        QCOMPARE(ui.CommonComputationMethodLMDComboBox->currentIndex(), -1);
        QCOMPARE(ui.AllChannelsLMDCheckBox->checkState(), Qt::Unchecked);

        // Sixteen panels in two columns of eight, empty and disabled.
        for (int i = 0; i < ChannelCount; ++i) {
            TQvxmAdcChannelFrame *frame = form.ChannelFrames[i];
            QVERIFY(frame);
            QCOMPARE(frame->objectName(), QStringLiteral("QvxmAdcChannel%1Frame").arg(i));
            QCOMPARE(frame->parentWidget(), ui.AdcIndividualParsLMDSimplePanel);
            QCOMPARE(frame->geometry(), QRect(588 * (i / 8) + 1, 66 * (i % 8) + 2, 588, 66));
            QVERIFY(!frame->isHidden());
            QVERIFY(!frame->ChannelNumberLMDCheckBox->isEnabled());
            QVERIFY(!frame->ChannelNumberLMDCheckBox->isChecked());
            QCOMPARE(frame->InputRangeLMDComboBox->currentIndex(), -1);
            QCOMPARE(frame->ComputationMethodLMDComboBox->currentIndex(), -1);
            QCOMPARE(frame->Value1LMDEdit->text(), QStringLiteral("--------"));
            QCOMPARE(frame->Value2LMDEdit->text(), QStringLiteral("--------"));
            QCOMPARE(frame->Value1LMDEdit->palette().color(QPalette::Text), QColor(0, 255, 0));
            QCOMPARE(frame->Value1LabLMDLabel->text(), QStringLiteral("Напряжение, мВ"));
            QCOMPARE(frame->Value2LabLMDLabel->text(), QStringLiteral("Частота, кГц"));
        }
        QCOMPARE(form.ChannelFrames[15]->ChannelNumberLMDCheckBox->text(), QStringLiteral("Канал 16"));
    }

    void layout()
    {
        TMainForm form;
        auto &ui = form.ui;
        QCOMPARE(ui.MainLMDPageControl->currentIndex(), 0);
        QVERIFY(ui.MainLMDPageControl->isTabVisible(0));
        QVERIFY(!ui.MainLMDPageControl->isTabVisible(1));
        QVERIFY(!ui.MainLMDPageControl->isTabVisible(2));
        for (QWidget *hidden : std::initializer_list<QWidget *>{
                 ui.Bevel3, ui.GeneratorStatusLed, ui.VoltmeterStatusLed, ui.AcquisitionTimeLMDSimplePanel,
                 ui.ComputationInfoLMDSimplePanel, ui.EquipmentLMDSimplePanel, ui.GeneratorLMDGroupBox,
                 ui.VoltmeterLMDGroupBox})
            QVERIFY2(ui.MainLMDPageControl->isHidden() || hidden->isHidden(), qPrintable(hidden->objectName()));
        for (QWidget *shown : std::initializer_list<QWidget *>{
                 ui.FindDeviceLMDButton, ui.QvxCratesComboBox, ui.ModulesComboBox, ui.ModuleStatusLed,
                 ui.StartMultimeterLMDSimplePanel, ui.SaveIniSettingLMDGroupBox, ui.AdcGroupParsLMDGroupBox,
                 ui.ChannelCommonParsLMDSimplePanel, ui.CommonParsLMDSimplePanel, ui.AdcIndividualParsLMDGroupBox})
            QVERIFY2(!shown->isHidden(), qPrintable(shown->objectName()));
        // The strip loses the 37 pixels right of Bevel3; the common row moves right by 86.
        QCOMPARE(ui.SelectedModuleLMDSimplePanel->width(), 540 - 37);
        QCOMPARE(ui.StartMultimeterLMDSimplePanel->x(), 703 - 37);
        QCOMPARE(ui.SaveIniSettingLMDGroupBox->x(), 963 - 37);
        QCOMPARE(ui.ChannelCommonParsLMDSimplePanel->x(), 165 + 86);
        QCOMPARE(ui.CommonParsLMDSimplePanel->x(), 410 + 86);
        // Fixed size; wider only by the scroll bar when the channel area needs one.
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        const int scrollBar = form.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        QVERIFY(form.width() == 1208 || form.width() == 1208 + scrollBar);
        QVERIFY(form.height() <= 887 - 98);
        QCOMPARE(ui.MultimeterLMDSimplePanel->width(), form.width() == 1208 ? 1188 : 1188 + scrollBar);
        QCOMPARE(form.OsVersionCode, 0);
        QVERIFY(!QApplication::windowIcon().isNull());
        QCOMPARE(form.PopupMenu->actions().size(), 8);
        QCOMPARE(form.PopupMenu->defaultAction(), ui.RebootDeviceMenuItem);
        QCOMPARE(ui.ApplicationExit->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    }

    void startupRequestsOneDiscovery()
    {
        TMainForm form(nullptr, FreshSettingsPath());
        DiscoverySpy spy(&form, false);
        form.show();
        QTRY_COMPARE(form.StartupStage, std::uint8_t(3));
        QTRY_COMPARE(spy.requests.size(), 1);
        QCOMPARE(spy.requests[0], qMakePair(qintptr(dmFullSearch), qintptr(1)));

        // Later resizes request nothing.
        QResizeEvent resized(form.size(), form.size());
        QApplication::sendEvent(&form, &resized);
        QTRY_VERIFY(form.InitAndConfigThread == nullptr);
        QApplication::sendEvent(&form, &resized);
        QTest::qWait(100);
        QCOMPARE(spy.requests.size(), 1);
        QCOMPARE(form.StartupStage, std::uint8_t(3));
        // Without a module the run leaves the top strip enabled and the measurement area disabled.
        QVERIFY(form.ui.FindDeviceLMDButton->isEnabled());
        QVERIFY(form.ui.MainLMDPageControl->isEnabled());
        QVERIFY(!form.ui.MultimeterLMDSimplePanel->isEnabled());
        QVERIFY(form.InitDevicesIdle && !form.InitDevicesThreadRunning && !form.HandlerBusy);
    }

    void discoveryRequestsAreNotStacked()
    {
        TMainForm form(nullptr, FreshSettingsPath());
        DiscoverySpy spy(&form, false);
        form.StartInitDevicesThread(dmFullSearch, true);
        form.StartInitDevicesThread(dmModuleChanged, false);  // one is queued: dropped
        QTRY_VERIFY(form.InitDevicesThreadRunning);
        form.StartInitDevicesThread(dmCrateChanged, false);  // one is running: dropped
        QTRY_VERIFY(form.InitAndConfigThread == nullptr);
        QCOMPARE(spy.requests.size(), 1);
        QCOMPARE(spy.requests[0], qMakePair(qintptr(dmFullSearch), qintptr(1)));

        form.StartInitDevicesThread(dmModuleChanged, false);  // idle again: taken
        QTRY_VERIFY(form.InitAndConfigThread == nullptr && form.InitDevicesIdle);
        QCOMPARE(spy.requests.size(), 2);
        QCOMPARE(spy.requests[1], qMakePair(qintptr(dmModuleChanged), qintptr(0)));
    }

    void startTwiceLeavesNoWorker()
    {
        TMainForm form;
        StartMeasurement(form);
        QPointer<TMainThread> worker = form.MainThread;
        form.ui.StartMultimeterLMDSpeedButton->click();
        VerifyStopped(form);
        QVERIFY(worker.isNull());
        QVERIFY(!form.HandlerBusy);
        // And again: a second run starts and stops the same way.
        StartMeasurement(form);
        form.ui.StartMultimeterLMDSpeedButton->click();
        VerifyStopped(form);
    }

    void stopInsideAnotherStop()
    {
        // ESC handled while START's stop is still waiting: the inner stop ends the worker and
        // the outer one must not touch it again.
        TMainForm form;
        StartMeasurement(form);
        QMetaObject::invokeMethod(&form, [&form] { form.StopThread(); }, Qt::QueuedConnection);
        form.ui.StartMultimeterLMDSpeedButton->click();
        VerifyStopped(form);
        QVERIFY(!form.HandlerBusy);
    }

    void escRules()
    {
        TMainForm form;
        // Busy flag set: ESC clears it and is consumed.
        form.HandlerBusy = true;
        QVERIFY(form.ApplicationShortCut(Qt::Key_Escape));
        QVERIFY(!form.HandlerBusy);
        // Another key is not looked at.
        form.HandlerBusy = true;
        QVERIFY(!form.ApplicationShortCut(Qt::Key_Enter));
        QVERIFY(form.HandlerBusy);
        form.HandlerBusy = false;
        // Nothing running: passed on, nothing changes.
        QVERIFY(!form.ApplicationShortCut(Qt::Key_Escape));
        QVERIFY(!form.HandlerBusy && form.MainThread == nullptr);

        // During a measurement, ESC pressed anywhere in the window stops it.
        StartMeasurement(form);
        QTest::keyClick(form.ChannelFrames[3]->Value1LMDEdit, Qt::Key_Escape);
        VerifyStopped(form);

        // While the hook is detached (a worker's dialog is open) ESC does nothing here.
        form.ShortCutHookEnabled = false;
        form.HandlerBusy = true;
        QTest::keyClick(form.ui.FindDeviceLMDButton, Qt::Key_Escape);
        QVERIFY(form.HandlerBusy);
    }

    void findDeviceResetsAndSearches()
    {
        TMainForm form;
        DiscoverySpy spy(&form, true);
        auto &ui = form.ui;
        StartMeasurement(form);
        ui.AllChannelsLMDCheckBox->setCheckState(Qt::PartiallyChecked);
        for (QComboBox *box : {ui.CommonInputRangeLMDComboBox, ui.CommonComputationMethodLMDComboBox,
                               ui.SingleChannelAdcRateComboBox, ui.MultiChannelAdcRateComboBox,
                               ui.CurrentValueLMDComboBox})
            box->setCurrentIndex(1);
        TQvxmAdcChannelFrame *frame = form.ChannelFrames[5];
        frame->ChannelNumberLMDCheckBox->setChecked(true);
        frame->InputRangeLMDComboBox->setCurrentIndex(1);
        frame->ComputationMethodLMDComboBox->setCurrentIndex(0);
        frame->Value1LMDEdit->setText(QStringLiteral("12.3456"));
        frame->SetLedState(Idle);

        ui.FindDeviceLMDButton->click();

        QVERIFY(form.MainThread == nullptr);
        QCOMPARE(ui.AllChannelsLMDCheckBox->checkState(), Qt::Unchecked);
        for (QComboBox *box : {ui.CommonInputRangeLMDComboBox, ui.CommonComputationMethodLMDComboBox,
                               ui.SingleChannelAdcRateComboBox, ui.MultiChannelAdcRateComboBox,
                               ui.CurrentValueLMDComboBox})
            QCOMPARE(box->currentIndex(), -1);
        QVERIFY(!frame->ChannelNumberLMDCheckBox->isChecked());
        QCOMPARE(frame->InputRangeLMDComboBox->currentIndex(), -1);
        QCOMPARE(frame->ComputationMethodLMDComboBox->currentIndex(), -1);
        QCOMPARE(frame->Value1LMDEdit->text(), QStringLiteral("--------"));
        QCOMPARE(frame->FlashLed->unlitColor(), QApplication::palette().color(QPalette::Button));
        QTRY_COMPARE(spy.requests.size(), 1);
        QCOMPARE(spy.requests[0], qMakePair(qintptr(dmFullSearch), qintptr(0)));
        QVERIFY(!form.HandlerBusy);
    }

    void updateStartButton_data()
    {
        QTest::addColumn<int>("redField");
        QTest::newRow("all black") << -1;
        for (int i = 0; i < 5; ++i)
            QTest::newRow(qPrintable(QStringLiteral("field %1 red").arg(i))) << i;
    }
    void updateStartButton()
    {
        QFETCH(int, redField);
        TMainForm form;
        auto &ui = form.ui;
        const QList<QWidget *> fields{ui.SignalAmpltudeGeneratorLMDEdit, ui.SignalFrequencyGeneratorLMDEdit,
                                      ui.SingleChannelAdcRateComboBox, ui.MultiChannelAdcRateComboBox,
                                      ui.CurrentValueLMDComboBox};
        if (redField >= 0)
            EntryColors::SetTextColor(fields[redField], EntryColors::Unconfirmed);
        ui.StartMultimeterLMDSpeedButton->setEnabled(redField >= 0);
        form.UpdateStartButton();
        QCOMPARE(ui.StartMultimeterLMDSpeedButton->isEnabled(), redField < 0);
        if (redField >= 0) {
            EntryColors::SetTextColor(fields[redField], EntryColors::Confirmed);
            form.UpdateStartButton();
            QVERIFY(ui.StartMultimeterLMDSpeedButton->isEnabled());
        }
    }

    void exitDuringMeasurement()
    {
        TMainForm form(nullptr, FreshSettingsPath());
        form.show();
        QTRY_VERIFY(form.StartupStage == 3 && form.InitAndConfigThread == nullptr);
        StartMeasurement(form);
        form.HandlerBusy = true;  // "Выход" closes with the close steps even so
        form.ui.ApplicationExit->trigger();
        VerifyStopped(form);
        QVERIFY(!form.isVisible());
        QVERIFY(!form.HandlerBusy);
    }

    void closeWhileBusyStillEndsTheWorker()
    {
        auto form = std::make_unique<TMainForm>();
        StartMeasurement(*form);
        QPointer<TMainThread> worker = form->MainThread;
        form->HandlerBusy = true;
        form->close();
        QVERIFY(!worker.isNull());  // the close steps were skipped
        form.reset();
        QVERIFY(worker.isNull());
    }

    void destroyDuringDiscoveryWaitsForIt()
    {
        auto form = std::make_unique<TMainForm>(nullptr, FreshSettingsPath());
        form->StartInitDevicesThread(dmFullSearch, false);
        QTRY_VERIFY(form->InitDevicesThreadRunning);
        QPointer<TInitAndConfigThread> worker = form->InitAndConfigThread;
        form.reset();
        QVERIFY(worker.isNull());
    }

    void pageChangeGuard()
    {
        TMainForm form;
        form.ModuleState = 0;
        form.ui.MainLMDPageControl->setEnabled(false);
        AcceptNextMessageBox();
        QVERIFY(!form.MainLMDPageControlChanging(1));
        QVERIFY(form.ui.MainLMDPageControl->isEnabled());
        QVERIFY(!form.HandlerBusy);

        form.ModuleState = 2;
        form.ui.StartMultimeterLMDSimplePanel->hide();
        QVERIFY(form.MainLMDPageControlChanging(0));
        QVERIFY(!form.ui.StartMultimeterLMDSimplePanel->isHidden());

        form.HandlerBusy = true;  // changes made by a busy step are not guarded
        form.ModuleState = 0;
        QVERIFY(form.MainLMDPageControlChanging(1));
        QVERIFY(form.HandlerBusy);
    }

    void enableChannelFrames()
    {
        TMainForm form;
        auto frame = [&](int i) { return form.ChannelFrames[i]; };
        form.HandlerBusy = true;
        frame(0)->ChannelNumberLMDCheckBox->setChecked(true);
        frame(0)->ComputationMethodLMDComboBox->setCurrentIndex(0);
        frame(1)->ChannelNumberLMDCheckBox->setChecked(true);
        frame(1)->ComputationMethodLMDComboBox->setCurrentIndex(1);
        frame(2)->ChannelNumberLMDCheckBox->setChecked(true);
        frame(2)->Value1LabLMDLabel->setText(QStringLiteral("A"));
        frame(2)->Value2LabLMDLabel->setText(QStringLiteral("B"));
        form.HandlerBusy = false;

        form.EnableChannelFrames();
        for (TQvxmAdcChannelFrame *f : form.ChannelFrames) {
            QVERIFY(f->QvxmAdcChannelLMDSimplePanel->isEnabled());
            QVERIFY(f->ChannelNumberLMDCheckBox->isEnabled());
        }
        QVERIFY(frame(0)->Value1LMDEdit->isEnabled() && !frame(0)->Value2LMDEdit->isEnabled());
        QCOMPARE(frame(0)->Value2LabLMDLabel->text(), QString());
        QVERIFY(frame(1)->Value1LMDEdit->isEnabled() && frame(1)->Value2LMDEdit->isEnabled());
        QCOMPARE(frame(1)->Value2LabLMDLabel->text(), QStringLiteral("Частота, кГц"));
        // Checked without a method: the captions stay as they were.
        QCOMPARE(frame(2)->Value1LabLMDLabel->text(), QStringLiteral("A"));
        QCOMPARE(frame(2)->Value2LabLMDLabel->text(), QStringLiteral("B"));
        QVERIFY(frame(2)->InputRangeLMDComboBox->isEnabled());
        // Unchecked: only the box is usable.
        QVERIFY(!frame(3)->InputRangeLMDComboBox->isEnabled());
        QVERIFY(!frame(3)->Value1LMDEdit->isEnabled());
    }

    void setControlsEnabledKeepsPanels()
    {
        TMainForm form;
        auto &ui = form.ui;
        form.EnableChannelFrames();
        form.ChannelFrames[4]->DisableChannelControls();
        form.SetControlsEnabled(ui.MainLMDSimplePanel, false);
        QVERIFY(!ui.CurrentValueLMDComboBox->isEnabled());
        QVERIFY(!form.ChannelFrames[0]->ChannelNumberLMDCheckBox->isEnabled());

        form.SetControlsEnabled(ui.MainLMDSimplePanel, true);
        QVERIFY(ui.CurrentValueLMDComboBox->isEnabled());
        QVERIFY(ui.MultimeterLMDSimplePanel->isEnabled());
        QVERIFY(ui.MultimeterLMDTabSheet->isEnabled());
        QVERIFY(ui.AdcIndividualParsLMDSimplePanel->isEnabled());
        // The channel panels keep their own (here: disabled) states.
        QVERIFY(!form.ChannelFrames[0]->ChannelNumberLMDCheckBox->isEnabled());
        QVERIFY(!form.ChannelFrames[0]->ChannelNumberLMDCheckBox->isEnabledTo(ui.AdcIndividualParsLMDSimplePanel));
    }

    void hints()
    {
        TMainForm form;
        const QRect work = form.WorkArea();
        QLineEdit *channelValue = form.ChannelFrames[2]->Value1LMDEdit;
        auto decision = form.ApplicationShowHint(channelValue, QStringLiteral("1.2345"), work.center());
        QVERIFY(decision.Show);
        QCOMPARE(decision.ReshowTimeout, 100);
        QCOMPARE(decision.HideTimeout, 2000);

        auto *stray = new QLineEdit(&form);
        stray->setObjectName(QStringLiteral("Value1LMDEdit"));
        QVERIFY(!form.ApplicationShowHint(stray, QStringLiteral("x"), work.center()).Show);

        // Near the bottom-right corner the hint is moved inside the work area, 10 pixels off.
        const QString text = QStringLiteral("Сила тока питания датчиков и ещё немного текста");
        decision = form.ApplicationShowHint(form.ui.CurrentValueLMDComboBox, text,
                                            work.bottomRight() - QPoint(3, 3));
        QVERIFY(decision.Show);
        QCOMPARE(decision.ReshowTimeout, 0);
        QVERIFY(work.contains(decision.Rect));
        QCOMPARE(decision.Rect.right() + 1, work.right() + 1 - 10);
        QCOMPARE(decision.Rect.bottom() + 1, work.bottom() + 1 - 10);
        QCOMPARE(QToolTip::palette().color(QPalette::ToolTipBase), QColor(255, 255, 164));
    }

    void applicationActivation()
    {
        TMainForm form;
        Q_EMIT qApp->applicationStateChanged(Qt::ApplicationActive);
        for (TQvxmAdcChannelFrame *frame : form.ChannelFrames)
            QCOMPARE(frame->AppActive, 1);
        Q_EMIT qApp->applicationStateChanged(Qt::ApplicationInactive);
        for (TQvxmAdcChannelFrame *frame : form.ChannelFrames)
            QCOMPARE(frame->AppActive, 0);
    }
};

QTEST_MAIN(TestMainForm)
#include "test_main_form.moc"
