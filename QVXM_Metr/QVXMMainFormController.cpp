// The controller: custom events, worker start and stop handshakes, START, ESC and close.
#include "QVXMMainForm.h"

#include "HandlerBusyGuard.h"
#include "IniFile.h"
#include "InitAndConfigThread.h"
#include "MainThread.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

#include <new>
#include <utility>

void TMainForm::WaitUntil(const std::function<bool()> &done)
{
    while (!done()) {
        QThread::msleep(50);
        QCoreApplication::processEvents();
    }
}

bool TMainForm::event(QEvent *event)
{
    switch (int(event->type())) {
    case MSG_START_INIT_DEVICES_THREAD: {
        const auto *message = static_cast<TMainFormMessage *>(event);
        OnStartInitDevicesThread(int(message->WParam), int(message->LParam));
        return true;
    }
    case MSG_START_MAIN_THREAD:
        OnStartMainThread();
        return true;
    case MSG_COMBOBOX_CHANGE_TEXT: {
        const auto *message = static_cast<TMainFormMessage *>(event);
        OnComboBoxChangeText(reinterpret_cast<QObject *>(message->WParam), message->LParam);
        return true;
    }
    default:
        return QWidget::event(event);
    }
}

void TMainForm::StartInitDevicesThread(int mode, bool readStored)
{
    if (InitDevicesThreadRunning || !InitDevicesIdle)
        return;
    InitDevicesIdle = false;
    QCoreApplication::postEvent(this, new TMainFormMessage(MSG_START_INIT_DEVICES_THREAD, mode, readStored ? 1 : 0));
}

void TMainForm::OnStartInitDevicesThread(int mode, int readStored)
{
    InitDevicesThreadRunning = false;
    auto *worker = new (std::nothrow) TInitAndConfigThread(this, std::uint16_t(mode), readStored != 0);
    if (!worker) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Ошибка OnStartInitDevicesThread()!"),
                        QStringLiteral("Не могу открыть поток 'InitAndConfigThread'!"), QMessageBox::Ok, this);
        box.exec();
        return;
    }
    InitAndConfigThread = worker;
    connect(worker, &QThread::finished, this, &TMainForm::InitAndConfigThreadTerminated, Qt::QueuedConnection);
    worker->start();
    // A run that ended before this loop saw its flag has been cleaned up already.
    WaitUntil([this, worker] { return InitDevicesThreadRunning || InitAndConfigThread != worker; });
    InitDevicesIdle = true;
}

void TMainForm::InitAndConfigThreadTerminated()
{
    InitDevicesThreadRunning = false;
    if (TInitAndConfigThread *worker = std::exchange(InitAndConfigThread, nullptr)) {
        worker->wait();
        delete worker;
    }
    if (std::exchange(CloseModuleAfterDiscovery, false))
        CloseModuleIfOpen();
}

void TMainForm::StartThread()
{
    if (MainThreadRunning || !StartThreadIdle)
        return;
    const int page = ThreadPages.indexOf(ui.MainLMDPageControl->currentWidget());
    if (page < 0) {
        QMessageBox::information(this, QStringLiteral("Ошибка StartThread()!!!"),
                                 QStringLiteral("Неизвестный номер страницы приложения!"));
        return;
    }
    ThreadPageIndex = page;
    if (ThreadPages[page] == ui.MultimeterLMDTabSheet) {
        StartThreadIdle = false;
        QCoreApplication::postEvent(this, new TMainFormMessage(MSG_START_MAIN_THREAD, 0, 0));
        WaitUntil([this] { return StartThreadIdle; });
    }
}

void TMainForm::OnStartMainThread()
{
    MainThreadRunning = false;
    auto *worker = new (std::nothrow) TMainThread(this, ThreadPageIndex);
    if (!worker) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Ошибка OnStartMainThread()!"),
                        QStringLiteral("Не могу открыть поток 'MainThread'!"), QMessageBox::Ok, this);
        box.exec();
        StartThreadIdle = true;
        close();
        return;
    }
    MainThread = worker;
    connect(worker, &QThread::finished, this, &TMainForm::MainThreadTerminated, Qt::QueuedConnection);
    worker->start();
    WaitUntil([this] { return MainThreadRunning.load(); });
    StartThreadIdle = true;
}

void TMainForm::MainThreadTerminated()
{
    MainThreadRunning = false;
}

void TMainForm::StopThread()
{
    if (!MainThread || !StartThreadIdle)
        return;
    // Another handler may stop the same worker from inside one of the waits below; this call
    // then leaves the rest to it.
    TMainThread *const worker = MainThread;
    const auto gone = [this, worker] { return MainThread != worker; };

    WaitUntil([&] { return gone() || MainThreadRunning; });
    if (gone())
        return;
    worker->Terminated = true;
    // The worker's last steps run on this thread, so its end is awaited while serving them.
    while (!gone() && !worker->wait(50))
        QCoreApplication::processEvents();
    if (gone())
        return;
    WaitUntil([&] { return gone() || !MainThreadRunning; });
    if (gone())
        return;
    MainThread = nullptr;
    delete worker;
}

void TMainForm::StartMultimeterLMDSpeedButtonClick()
{
    HandlerBusyGuard guard(HandlerBusy);
    if (!guard)
        return;
    StopThread();
    if (ui.MainLMDPageControl->currentIndex() == 0 && ui.StartMultimeterLMDSpeedButton->isChecked())
        StartThread();
}

bool TMainForm::ApplicationShortCut(int key)
{
    if (key != Qt::Key_Escape || !ShortCutHookEnabled)
        return false;
    if (HandlerBusy || InitDevicesThreadRunning) {
        HandlerBusy = false;
        return true;
    }
    if (ui.MainLMDPageControl->currentIndex() == 0 && !MultimeterStopped)
        StopThread();
    return false;
}

void TMainForm::ApplicationExitClick()
{
    HandlerBusy = false;
    close();
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    HandlerBusyGuard guard(HandlerBusy);
    if (guard) {
        if (ui.AutoSaveSettingsLMDCheckBox->isChecked())
            SaveSettingsOnClose();
        DeleteSettingsFile();
        StopThread();
        // A discovery run that is requested or running uses the module record on its own
        // thread; the module is closed when that run has ended.
        if (!InitDevicesIdle || InitAndConfigThread)
            CloseModuleAfterDiscovery = true;
        else
            CloseModuleIfOpen();
    }
    event->accept();
}

void TMainForm::WaitForWorkers()
{
    // No worker may outlive the window whose state it uses; their GUI steps are served meanwhile.
    if (MainThread) {
        StartThreadIdle = true;
        StopThread();
    }
    WaitUntil([this] { return InitAndConfigThread == nullptr; });
}

void TMainForm::SaveSettingsOnClose()
{
    SaveIniFile(SettingsPath());
}

void TMainForm::DeleteSettingsFile()
{
    SettingsFile.reset();
}

void TMainForm::CloseModuleIfOpen()
{
    if (QVXM_IsOpened(&Qvxm) == QVX_OK)
        QVXM_Close(&Qvxm);
}
