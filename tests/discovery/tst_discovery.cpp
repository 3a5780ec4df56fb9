// The start-up discovery and the selectors, end to end against an in-process simulator.
#include "DiscoveryTestSupport.h"
#include "InitAndConfigThread.h"
#include "LedIndicator.h"
#include "QVXMAdcChannelPanel.h"

#include <QFile>

using namespace disctest;

namespace {

const QColor Lime(0, 255, 0);
const QColor Red(255, 0, 0);
const QString NoCrateText = QStringLiteral("Не могу найти ни одного QVX крейта!");
const QString NoQvxmText = QStringLiteral("Не могу найти ни одного QVX крейта\nгде бы был установлен модуль QVXM!");
const QString Caption = QStringLiteral("QVXM_metr - %1.%2.%3").arg(QVXM_VERSION_MAJOR).arg(QVXM_VERSION_MINOR).arg(QVXM_VERSION_PATCH);

// One test's world: simulator, settings directory, window, dialog watcher.
struct World {
    QTemporaryDir dir;
    std::unique_ptr<qvxsim::SimServer> server;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<DialogWatcher> watcher;

    explicit World(bool withServer = true)
    {
        if (withServer)
            server = startServer();
        else
            QVX_SetServerPortOverride(deadPort());
    }
    ~World()
    {
        watcher.reset();
        form.reset();
        server.reset();
        QVX_SetServerPortOverride(0);
    }
    QString settingsPath() const { return dir.filePath(QStringLiteral("Qvxm_Metr.ini")); }
    TMainForm &make()
    {
        form = std::make_unique<TMainForm>(nullptr, settingsPath());
        watcher = std::make_unique<DialogWatcher>(form.get());
        return *form;
    }
    // Shows the window and waits for the start-up discovery to end.
    bool startUp()
    {
        TMainForm &f = form ? *form : make();
        f.show();
        if (!QTest::qWaitFor([&] { return f.StartupStage == 3; }, 5000))
            return false;
        return QTest::qWaitFor([&] { return runOver(f); }, 20000);
    }
    bool waitRun() { return QTest::qWaitFor([&] { return runOver(*form); }, 20000); }
    QStringList messages() const
    {
        QStringList texts;
        for (const ShownDialog &d : watcher->dialogs)
            texts << d.text;
        return texts;
    }
};

// The user picks item `index` of a selector.
void choose(QComboBox *box, int index)
{
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
}

void verifyModuleOpen(TMainForm &form, const QString &serial)
{
    auto &ui = form.ui;
    QCOMPARE(form.ModuleState.load(), std::uint8_t(2));
    QCOMPARE(ui.ModuleSerialNumberLMDLabel->text(), serial);
    QCOMPARE(ui.ModuleStatusLed->shownColor(), Lime);
    QCOMPARE(ui.ModuleStatusLed->toolTip(), QStringLiteral("Статус модуля 'QVXM' -> OK"));
    QVERIFY(ui.StartMultimeterLMDSpeedButton->isEnabled());
    QVERIFY(ui.StartMultimeterLMDSpeedButton->isVisibleTo(&form));
    QVERIFY(ui.AdcGroupParsLMDGroupBox->isEnabled());
    QVERIFY(ui.FindDeviceLMDButton->isEnabled());
    QCOMPARE(QVXM_IsOpened(&form.Qvxm), QVX_OK);
    QVERIFY(!form.HandlerBusy);
}

// After a failed run the window works: the search controls are usable, the measurement is not.
void verifyNoModule(TMainForm &form)
{
    auto &ui = form.ui;
    QVERIFY(form.ModuleState != 2);
    QCOMPARE(ui.ModuleSerialNumberLMDLabel->text(), QStringLiteral("????????"));
    QCOMPARE(ui.ModuleFirmwareVersionLMDLabel->text(), QStringLiteral("????????"));
    QCOMPARE(ui.ModuleStatusLed->shownColor(), Red);
    QVERIFY(ui.StartMultimeterLMDSimplePanel->isHidden());
    QVERIFY(!ui.AdcGroupParsLMDGroupBox->isEnabled());
    QVERIFY(ui.FindDeviceLMDButton->isEnabled());
    QVERIFY(ui.QvxCratesComboBox->isEnabled());
    QVERIFY(ui.MainLMDPageControl->isEnabled());
    QVERIFY(!form.HandlerBusy);
    QVERIFY(form.ShortCutHookEnabled);
    QCOMPARE(form.contextMenuPolicy(), Qt::CustomContextMenu);
}

} // namespace

class TestDiscovery : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstStartWithoutSettingsFile()
    {
        World world;
        QVERIFY(world.server);
        TMainForm &form = world.make();
        QVERIFY(!QFile::exists(world.settingsPath()));
        ResponsivenessMeter meter;
        QElapsedTimer clock;
        clock.start();
        meter.start();
        form.show();
        // The channel panels are enabled by the run's last step, and only with a module open.
        QVERIFY(QTest::qWaitFor([&] { return form.ChannelFrames[0]->ChannelNumberLMDCheckBox->isEnabled(); }, 20000));
        const qint64 toEnabled = clock.elapsed();
        QVERIFY(world.waitRun());
        meter.stop();
        qInfo("start-up: controls enabled after %lld ms; longest unserved GUI gap %lld ms", toEnabled, meter.maxGapMs);

        auto &ui = form.ui;
        QVERIFY(world.watcher->dialogs.isEmpty());
        QVERIFY(QFile::exists(world.settingsPath()));
        const StoredModuleLocation stored = loadModuleLocation(IniFile(world.settingsPath()));
        QCOMPARE(stored.crateSerial, QString());
        QCOMPARE(stored.slot, -1);

        QCOMPARE(form.CrateCount, std::uint16_t(3));
        QCOMPARE(form.QvxmCrateCount, std::uint16_t(2));
        QCOMPARE(items(ui.QvxCratesComboBox), (QStringList{"1: QVX-2301", "2: QVX-2417"}));
        QCOMPARE(ui.QvxCratesComboBox->currentIndex(), 0);
        QCOMPARE(ui.QvxCratesComboBox->maxVisibleItems(), 2);
        QCOMPARE(items(ui.ModulesComboBox), (QStringList{"Слот 2: QVXM", "Слот 5: QVXM"}));
        QCOMPARE(ui.ModulesComboBox->currentIndex(), 0);
        QCOMPARE(form.QvxmSlots[0][0], std::uint16_t(2));
        QCOMPARE(form.QvxmSlots[0][1], std::uint16_t(5));
        QCOMPARE(form.SelectedCrate, std::uint16_t(0));
        verifyModuleOpen(form, QStringLiteral("QVXM-0210457"));
        QCOMPARE(ui.ModuleFirmwareVersionLMDLabel->text(), QStringLiteral("312"));
        QCOMPARE(ui.QvxCrateStatusLed->shownColor(), Lime);
        QCOMPARE(ui.QvxCrateStatusLed->toolTip(), QStringLiteral("Статус QVX крейта -> OK"));
        QCOMPARE(form.windowTitle(), Caption);
        QCOMPARE(QCoreApplication::applicationName(), Caption);
        QVERIFY(world.server->moduleStats(Crate1.toStdString(), 2).open);
        QCOMPARE(form.contextMenuPolicy(), Qt::CustomContextMenu);
        QVERIFY(ui.SaveSettingsButton->isEnabled());

        // The defaults are applied: all sixteen channels on, the common range and method 1.
        QCOMPARE(ui.AllChannelsLMDCheckBox->checkState(), Qt::Checked);
        for (TQvxmAdcChannelFrame *frame : form.ChannelFrames) {
            QVERIFY(frame->ChannelNumberLMDCheckBox->isChecked());
            QVERIFY(frame->ChannelNumberLMDCheckBox->isEnabled());
            QCOMPARE(frame->InputRangeLMDComboBox->currentIndex(), 1);
        }
    }

    void rememberedLocation_data()
    {
        QTest::addColumn<QString>("crate");
        QTest::addColumn<int>("slot");
        QTest::addColumn<int>("crateIndex");
        QTest::addColumn<int>("moduleIndex");
        QTest::addColumn<QString>("serial");
        QTest::newRow("second crate") << Crate2 << 3 << 1 << 0 << "QVXM-0221003";
        QTest::newRow("second module") << Crate1 << 5 << 0 << 1 << "QVXM-0210462";
        QTest::newRow("crate gone") << "QVX-9999" << 5 << 0 << 0 << "QVXM-0210457";
        QTest::newRow("slot without QVXM") << Crate1 << 9 << 0 << 0 << "QVXM-0210457";
        QTest::newRow("slot out of range") << Crate1 << 77 << 0 << 0 << "QVXM-0210457";
    }
    void rememberedLocation()
    {
        QFETCH(QString, crate);
        QFETCH(int, slot);
        QFETCH(int, crateIndex);
        QFETCH(int, moduleIndex);
        QFETCH(QString, serial);
        World world;
        writeSettings(world.settingsPath(), crate, slot, 40, 30);
        QVERIFY(world.startUp());
        TMainForm &form = *world.form;
        QVERIFY(world.watcher->dialogs.isEmpty());
        QCOMPARE(form.ui.QvxCratesComboBox->currentIndex(), crateIndex);
        QCOMPARE(form.ui.ModulesComboBox->currentIndex(), moduleIndex);
        verifyModuleOpen(form, serial);
        QCOMPARE(form.pos(), QPoint(30, 40));
    }

    void findDeviceKeepsTheSelection()
    {
        // "Обнаружить" searches again but does not go back to the stored location.
        World world;
        writeSettings(world.settingsPath(), Crate2, 3);
        QVERIFY(world.startUp());
        TMainForm &form = *world.form;
        writeSettings(world.settingsPath(), Crate1, 5);
        form.ui.FindDeviceLMDButton->click();
        QVERIFY(!form.InitDevicesIdle || form.InitAndConfigThread);
        QVERIFY(world.waitRun());
        QCOMPARE(form.ui.QvxCratesComboBox->currentIndex(), 1);
        verifyModuleOpen(form, QStringLiteral("QVXM-0221003"));
        QVERIFY(world.watcher->dialogs.isEmpty());
    }

    void modulesThatDoNotOpen_data()
    {
        QTest::addColumn<QList<int>>("failingSlots");  // of QVX-2301
        QTest::addColumn<QStringList>("crates");
        QTest::addColumn<QStringList>("modules");
        QTest::addColumn<QString>("serial");
        QTest::newRow("first QVXM") << QList<int>{2} << QStringList{"1: QVX-2301", "2: QVX-2417"}
                                    << QStringList{"Слот 5: QVXM"} << "QVXM-0210462";
        QTest::newRow("whole crate") << QList<int>{2, 5} << QStringList{"1: QVX-2417"}
                                     << QStringList{"Слот 3: QVXM"} << "QVXM-0221003";
    }
    void modulesThatDoNotOpen()
    {
        QFETCH(QList<int>, failingSlots);
        QFETCH(QStringList, crates);
        QFETCH(QStringList, modules);
        QFETCH(QString, serial);
        World world;
        qvxsim::ModuleFaults refuse;
        refuse.openFails = true;
        for (int slot : failingSlots)
            QVERIFY(world.server->setModuleFaults(Crate1.toStdString(), uint16_t(slot), refuse));
        QVERIFY(world.startUp());
        TMainForm &form = *world.form;
        QVERIFY(world.watcher->dialogs.isEmpty());
        QCOMPARE(items(form.ui.QvxCratesComboBox), crates);
        QCOMPARE(items(form.ui.ModulesComboBox), modules);
        verifyModuleOpen(form, serial);
    }

    void choosingModulesAndCrates()
    {
        World world;
        QVERIFY(world.startUp());
        TMainForm &form = *world.form;
        auto &ui = form.ui;
        const auto opens = [&](const QString &crate, int slot) {
            return world.server->moduleStats(crate.toStdString(), uint16_t(slot)).opens;
        };
        const uint64_t shownOpens = opens(Crate1, 2);

        // The module already shown: nothing is requested.
        choose(ui.ModulesComboBox, 0);
        QVERIFY(form.InitDevicesIdle && form.InitAndConfigThread == nullptr);
        QTest::qWait(100);
        QCOMPARE(opens(Crate1, 2), shownOpens);
        QVERIFY(form.InitAndConfigThread == nullptr);

        // Another module of the crate: it is opened, nothing is searched.
        const uint64_t crate2Opens = opens(Crate2, 3);
        choose(ui.ModulesComboBox, 1);
        QVERIFY(!form.InitDevicesIdle || form.InitAndConfigThread);
        QVERIFY(world.waitRun());
        verifyModuleOpen(form, QStringLiteral("QVXM-0210462"));
        QCOMPARE(form.SelectedModule[0], std::uint16_t(1));
        QCOMPARE(opens(Crate2, 3), crate2Opens);
        QVERIFY(!world.server->moduleStats(Crate1.toStdString(), 2).open);

        // Another crate: its module list replaces the old one and its module is opened.
        choose(ui.QvxCratesComboBox, 1);
        QVERIFY(world.waitRun());
        QCOMPARE(form.SelectedCrate, std::uint16_t(1));
        QCOMPARE(items(ui.ModulesComboBox), QStringList{"Слот 3: QVXM"});
        verifyModuleOpen(form, QStringLiteral("QVXM-0221003"));
        QCOMPARE(ui.QvxCrateStatusLed->shownColor(), Lime);
        QVERIFY(!world.server->moduleStats(Crate1.toStdString(), 5).open);

        // Back to the first crate: the module chosen there before is opened again.
        choose(ui.QvxCratesComboBox, 0);
        QVERIFY(world.waitRun());
        QCOMPARE(ui.ModulesComboBox->currentIndex(), 1);
        verifyModuleOpen(form, QStringLiteral("QVXM-0210462"));
        QVERIFY(world.watcher->dialogs.isEmpty());
    }

    void choiceThatDoesNotOpen_data()
    {
        QTest::addColumn<bool>("chooseCrate");
        QTest::addColumn<QString>("message");
        QTest::newRow("module") << false << QStringLiteral("Не могу проинициализировать модуль в указанном слоте!");
        QTest::newRow("crate") << true
                               << QStringLiteral("Не могу проинициализировать QVX крейт с модулями в указанном слоте!");
    }
    void choiceThatDoesNotOpen()
    {
        QFETCH(bool, chooseCrate);
        QFETCH(QString, message);
        World world;
        QVERIFY(world.startUp());
        TMainForm &form = *world.form;
        qvxsim::ModuleFaults refuse;
        refuse.openFails = true;
        QVERIFY(world.server->setModuleFaults(Crate1.toStdString(), 5, refuse));
        QVERIFY(world.server->setModuleFaults(Crate2.toStdString(), 3, refuse));
        if (chooseCrate)
            choose(form.ui.QvxCratesComboBox, 1);
        else
            choose(form.ui.ModulesComboBox, 1);
        QVERIFY(world.waitRun());
        QCOMPARE(world.messages(), QStringList{message});
        verifyNoModule(form);
        QCOMPARE(form.CrateListValid.load(), chooseCrate ? 0 : 1);
        QCOMPARE(QVXM_IsOpened(&form.Qvxm), QVX_ERR_NOT_OPEN);

        // The window still works: the module that opens is chosen again.
        world.server->setModuleFaults(Crate1.toStdString(), 5, {});
        world.server->setModuleFaults(Crate2.toStdString(), 3, {});
        if (chooseCrate) {
            choose(form.ui.QvxCratesComboBox, 0);
            QVERIFY(world.waitRun());
        }
        choose(form.ui.ModulesComboBox, 1);
        QVERIFY(world.waitRun());
        verifyModuleOpen(form, QStringLiteral("QVXM-0210462"));
    }

    void serverFaults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");  // empty: none
        QTest::addColumn<bool>("crateListed");
        QTest::newRow("no server") << "none" << NoCrateText << false;
        QTest::newRow("crate list refused") << "crateListFails" << NoCrateText << false;
        QTest::newRow("module list refused") << "modulesFail" << QString() << false;
        QTest::newRow("every QVXM refuses") << "qvxmFail" << NoQvxmText << false;
        QTest::newRow("server hangs") << "hang" << NoCrateText << false;
        QTest::newRow("server stops after the search") << "stopAfterSearch" << QString() << true;
    }
    void serverFaults()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        QFETCH(bool, crateListed);
        World world(fault != "none");
        TMainForm &form = world.make();
        qvxsim::SimServer *server = world.server.get();
        QTimer stopper;
        if (fault == "crateListFails") {
            qvxsim::ServerFaults f;
            f.crateListFails = true;
            server->setServerFaults(f);
        } else if (fault == "modulesFail") {
            QVERIFY(server->setCrateModulesFail(Crate2.toStdString(), true));
        } else if (fault == "qvxmFail") {
            qvxsim::ModuleFaults refuse;
            refuse.openFails = true;
            for (auto [crate, slot] : {std::pair{Crate1, 2}, {Crate1, 5}, {Crate2, 3}})
                QVERIFY(server->setModuleFaults(crate.toStdString(), uint16_t(slot), refuse));
        } else if (fault == "hang") {
            qvxsim::ServerFaults f;
            f.hang = true;
            server->setServerFaults(f);
        } else if (fault == "stopAfterSearch") {
            // Between the search and the opening of the chosen module the server goes away.
            QObject::connect(&stopper, &QTimer::timeout, &stopper, [&] {
                if (form.ui.ModulesComboBox->count() > 0 && server->isRunning())
                    server->stop();
            });
            stopper.start(1);
        }
        ResponsivenessMeter meter;
        meter.start();
        QVERIFY(world.startUp());
        meter.stop();
        qInfo("%s: longest unserved GUI gap %lld ms", qPrintable(fault), meter.maxGapMs);

        QCOMPARE(world.messages(), message.isEmpty() ? QStringList() : QStringList{message});
        verifyNoModule(form);
        QCOMPARE(form.ui.QvxCrateStatusLed->shownColor(), crateListed ? Lime : Red);
        QCOMPARE(form.ui.QvxCrateStatusLed->toolTip(),
                 crateListed ? QStringLiteral("Статус QVX крейта -> OK") : QStringLiteral("Статус QVX крейта -> BAD"));
        QCOMPARE(form.windowTitle(), Caption);
        if (fault == "hang")
            QVERIFY2(meter.ticks > 10, "the window served no events while the server hung");

        // Once the server is back, "Обнаружить" finds the module.
        stopper.stop();
        world.server.reset();
        world.server = startServer();
        QVERIFY(world.server);
        form.ui.FindDeviceLMDButton->click();
        QVERIFY(world.waitRun());
        verifyModuleOpen(form, QStringLiteral("QVXM-0210457"));
        QCOMPARE(world.watcher->dialogs.size(), message.isEmpty() ? 0 : 1);
    }

    void settingsFileCannotBeCreated_data()
    {
        QTest::addColumn<bool>("withServer");
        QTest::addColumn<QString>("message");
        QTest::newRow("module found") << true
                                      << QStringLiteral("Не могу проинициализировать параметры работы приложения!");
        // Two failures in one run: only the first one the run reports is shown.
        QTest::newRow("no server either") << false << NoCrateText;
    }
    void settingsFileCannotBeCreated()
    {
        QFETCH(bool, withServer);
        QFETCH(QString, message);
        World world(withServer);
        world.form = std::make_unique<TMainForm>(nullptr, world.dir.filePath(QStringLiteral("нет такого/Qvxm_Metr.ini")));
        world.watcher = std::make_unique<DialogWatcher>(world.form.get());
        QVERIFY(world.startUp());
        TMainForm &form = *world.form;
        QCOMPARE(world.watcher->boxes.size(), 1);
        QVERIFY(world.watcher->boxes.first().startsWith(QStringLiteral("Не могу создать файл обычных настроек для приложения!")));
        QCOMPARE(world.messages(), QStringList{message});
        if (withServer)
            verifyModuleOpen(form, QStringLiteral("QVXM-0210457"));
        else
            verifyNoModule(form);
    }

    void closingDuringARunLeavesNoModuleOpen()
    {
        World world;
        QVERIFY(world.startUp());
        TMainForm &form = *world.form;
        choose(form.ui.ModulesComboBox, 1);
        // The run's first step is over; its worker sleeps before it opens the chosen module.
        QVERIFY(QTest::qWaitFor([&] { return form.InitDevicesThreadRunning && form.ModuleState == 0; }, 5000));
        form.close();
        QVERIFY(world.waitRun());
        QCOMPARE(QVXM_IsOpened(&form.Qvxm), QVX_ERR_NOT_OPEN);
        QVERIFY(!world.server->moduleStats(Crate1.toStdString(), 2).open);
        QVERIFY(!world.server->moduleStats(Crate1.toStdString(), 5).open);
        QVERIFY(!form.CloseModuleAfterDiscovery);
    }

    void messageDialogLook()
    {
        World world(false);
        QVERIFY(world.startUp());
        QCOMPARE(world.watcher->dialogs.size(), 1);
        const ShownDialog shown = world.watcher->dialogs.first();
        QCOMPARE(shown.caption, QStringLiteral("Сообщение TInitAndConfigThread::Execute()!!!"));
        QCOMPARE(shown.text, NoCrateText);
        QCOMPARE(shown.buttonText, QStringLiteral("Принято"));
        QCOMPARE(shown.background, QColor(255, 128, 32));
        QCOMPARE(shown.textColor, QColor(Qt::white));
        QCOMPARE(shown.width, 570);
        QCOMPARE(shown.pointSize, 12);
        QVERIFY(shown.buttonCentred);
        QVERIFY(!shown.shortCutHookEnabled);
        QVERIFY(world.form->ShortCutHookEnabled);
        QCOMPARE(world.form->ui.QvxCratesComboBox->count(), 0);
    }
};

QTEST_MAIN(TestDiscovery)
#include "tst_discovery.moc"
