#include "MainThread.h"

#include "LedIndicator.h"
#include "QVXMAdcChannelPanel.h"
#include "QVXMMainForm.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>

#include <clocale>
#include <utility>

namespace {

const QColor StartCaptionColor(0, 128, 0);
const QColor StopCaptionColor(255, 0, 0);

void SetButtonTextColor(QWidget *button, const QColor &color)
{
    QPalette palette = button->palette();
    palette.setColor(QPalette::Active, QPalette::ButtonText, color);
    palette.setColor(QPalette::Inactive, QPalette::ButtonText, color);
    button->setPalette(palette);
}

} // namespace

TMainThread::TMainThread(TMainForm *form, int threadPageIndex)
    : Form(form), ThreadPageIndex(threadPageIndex), PageAtStart(form->ui.MainLMDPageControl->currentIndex())
{
}

template <class Step> void TMainThread::Synchronize(Step &&step)
{
    QMetaObject::invokeMethod(Form, std::forward<Step>(step), Qt::BlockingQueuedConnection);
}

void TMainThread::Execute()
{
    // Cleared before the running flag so that the controller never sees a running worker
    // whose measurement still counts as stopped.
    if (PageAtStart == 0)
        Form->MultimeterStopped = false;
    Form->MainThreadRunning = true;
    std::setlocale(LC_NUMERIC, "C");
    ErrorFlag = false;
    msleep(100);
    if (!ErrorFlag)
        RunMultimeter();
    while (!Terminated)
        msleep(50);
}

void TMainThread::RunMultimeter()
{
    Synchronize([this] { BeginRunUi(); });
    // The acquisition set-up and the frame cycle come with the module layer; until then a run
    // holds the running state until it is told to stop.
    while (!Terminated && !ErrorFlag)
        msleep(50);
    msleep(100);
    Synchronize([this] { EndRunUi(); });
}

void TMainThread::BeginRunUi()
{
    auto &ui = Form->ui;
    ui.StartMultimeterLMDSpeedButton->setText(QStringLiteral("С   Т   О   П"));
    SetButtonTextColor(ui.StartMultimeterLMDSpeedButton, StopCaptionColor);
    ui.VoltmeterValueLMDLabel->clear();
    ui.VoltmeterRefValueLMDLabel->clear();
    for (int c = 0; c < ChannelCount; ++c) {
        TQvxmAdcChannelFrame *frame = Form->ChannelFrames[c];
        frame->Value1LMDEdit->clear();
        frame->Value2LMDEdit->clear();
        frame->Value1LabLMDLabel->clear();
        frame->Value2LabLMDLabel->clear();
        frame->SetLedState(Off);
        ChannelRange[c] = frame->InputRangeLMDComboBox->currentIndex();
        ChannelMethod[c] = frame->ComputationMethodLMDComboBox->currentIndex();
    }
}

void TMainThread::EndRunUi()
{
    auto &ui = Form->ui;
    ui.StartMultimeterLMDSpeedButton->setText(QStringLiteral("С   Т   А   Р   Т"));
    SetButtonTextColor(ui.StartMultimeterLMDSpeedButton, StartCaptionColor);
    ui.StartMultimeterLMDSpeedButton->setChecked(false);
    ui.AcquisitionTimeLMDLabel->setText(QStringLiteral("-----"));
    for (TQvxmAdcChannelFrame *frame : Form->ChannelFrames)
        frame->Value1LMDEdit->setToolTip(QString());
    ui.VoltmeterRefValueLMDLabel->setToolTip(QString());
    Form->MultimeterStopped = true;
}
