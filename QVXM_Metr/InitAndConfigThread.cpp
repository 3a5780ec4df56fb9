#include "InitAndConfigThread.h"

#include "QVXMMainForm.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMetaObject>

#include <utility>

TInitAndConfigThread::TInitAndConfigThread(TMainForm *form, std::uint16_t mode, bool readStored)
    : Mode(mode), ReadStored(readStored), Form(form)
{
}

template <class Step> void TInitAndConfigThread::Synchronize(Step &&step)
{
    QMetaObject::invokeMethod(Form, std::forward<Step>(step), Qt::BlockingQueuedConnection);
}

void TInitAndConfigThread::Execute()
{
    Form->InitDevicesThreadRunning = true;
    MessageShown = false;
    msleep(50);
    Synchronize([this] { Prepare(); });
    msleep(100);
    msleep(100);
    // The crate search and the module opening come with the device layer; until then a run
    // finds no module and leaves the measurement controls disabled.
    msleep(100);
    Synchronize([this] { Finish(); });
}

void TInitAndConfigThread::Prepare()
{
    Form->ui.MainLMDPageControl->setEnabled(false);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);

    Form->HandlerBusy = true;
    Form->ui.MainLMDPageControl->setCurrentIndex(0);
    Form->HandlerBusy = false;

    if (Mode < dmModuleChanged || Mode > dmFullSearch)
        return;
    Form->HandlerBusy = true;
    Form->SetControlsEnabled(Form->ui.ModuleDetectionLMDGroupBox, false);
    Form->SetControlsEnabled(Form->ui.MainLMDSimplePanel, false);
    Form->HandlerBusy = false;
    switch (Mode) {
    case dmFullSearch:
        Form->CrateListValid = 0;
        Form->ModuleState = 0;
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

void TInitAndConfigThread::ShowStatus(bool done)
{
    const bool wasBusy = std::exchange(Form->HandlerBusy, true);
    if (!done) {
        Form->setWindowTitle(Form->InitialCaption);
        QCoreApplication::setApplicationName(Form->InitialCaption);
    }
    Form->HandlerBusy = wasBusy;
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
    QGuiApplication::restoreOverrideCursor();
}
