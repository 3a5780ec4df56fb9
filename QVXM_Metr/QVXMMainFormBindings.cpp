// Operator bindings of the window: start-up stages, "Обнаружить", page change, mouse wheel,
// and the operations that reset, enable and disable groups of controls.
#include "QVXMMainForm.h"

#include "EntryColors.h"
#include "HandlerBusyGuard.h"
#include "QVXMAdcChannelPanel.h"
#include "CaptionAboveCheckBox.h"
#include "ValueTables.h"
#include "WidgetTree.h"
#include "WindowGeometry.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QScrollBar>
#include <QWheelEvent>

void TMainForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        StartupShow();
}

void TMainForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    StartupResize();
}

void TMainForm::StartupShow()
{
    HandlerBusyGuard guard(HandlerBusy);
    if (!guard || StartupStage != 1)
        return;
    StartupStage = 2;
    // Qt sends the first resize before the first show, and the window system may send none
    // after it; the stage after the show is taken from the event queue in that case.
    QMetaObject::invokeMethod(this, &TMainForm::StartupResize, Qt::QueuedConnection);
}

void TMainForm::StartupResize()
{
    HandlerBusyGuard guard(HandlerBusy);
    if (!guard || StartupStage != 2)
        return;
    move(x(), WindowGeometry::StartupWindowTop(WorkArea(), frameGeometry().height()));
    StartupStage = 3;
    StartInitDevicesThread(dmFullSearch, true);
}

void TMainForm::FindDeviceLMDButtonClick()
{
    HandlerBusyGuard guard(HandlerBusy);
    if (!guard)
        return;
    StopThread();
    ui.AllChannelsLMDCheckBox->setCheckState(Qt::Unchecked);
    for (QComboBox *box : {ui.CommonInputRangeLMDComboBox, ui.CommonComputationMethodLMDComboBox,
                           ui.SingleChannelAdcRateComboBox, ui.MultiChannelAdcRateComboBox,
                           ui.CurrentValueLMDComboBox})
        box->setCurrentIndex(-1);
    for (int i = 0; i < ChannelCount; ++i)
        ResetChannelFrame(i);
    StartInitDevicesThread(dmFullSearch, false);
}

bool TMainForm::MainLMDPageControlChanging(int newIndex)
{
    HandlerBusyGuard guard(HandlerBusy);
    if (!guard)
        return true;
    if (ModuleState != 2) {
        ui.MainLMDPageControl->setEnabled(true);
        HandlerBusy = false;
        QMessageBox::information(this, QStringLiteral("Внимание!!!"),
                                 QStringLiteral("Нет открытого модуля! Поэтому данная опция не доступна!"));
        return false;
    }
    if (newIndex == 0) {
        StopThread();
        ui.StartMultimeterLMDSimplePanel->show();
    }
    return true;
}

namespace {

// The scroll box that `w` is part of: Qt splits one into the area, its viewport and its bars.
QScrollArea *ScrollBoxOf(QWidget *w)
{
    if (auto *area = qobject_cast<QScrollArea *>(w))
        return area;
    QWidget *parent = w->parentWidget();
    if (auto *area = qobject_cast<QScrollArea *>(parent); area && area->viewport() == w)
        return area;
    if (qobject_cast<QScrollBar *>(w) && parent)
        return qobject_cast<QScrollArea *>(parent->parentWidget());
    return nullptr;
}

} // namespace

bool TMainForm::MainFormMouseWheel(QWidget *underCursor, bool wheelUp)
{
    QScrollArea *const channels = ui.AdcIndividualParsLMDScrollBox;
    QScrollArea *box = ScrollBoxOf(underCursor);
    // A selector in the channel area that has no focus does not take the wheel, so that
    // scrolling through the channels never changes a channel's range or method by accident.
    if (!box) {
        for (QWidget *w = underCursor; w; w = w->parentWidget()) {
            if (auto *combo = qobject_cast<QComboBox *>(w); combo && !combo->hasFocus()
                                                            && channels->isAncestorOf(combo)) {
                box = channels;
                break;
            }
        }
    }
    if (!box || !box->verticalScrollBar()->isVisible())
        return false;
    QScrollBar *bar = channels->verticalScrollBar();
    bar->setValue(bar->value() + (wheelUp ? -1 : 1) * bar->singleStep());
    box->setFocus();
    return true;
}

void TMainForm::UpdateStartButton()
{
    bool allConfirmed = true;
    for (const QWidget *entry : std::initializer_list<const QWidget *>{
             ui.SignalAmpltudeGeneratorLMDEdit, ui.SignalFrequencyGeneratorLMDEdit,
             ui.SingleChannelAdcRateComboBox, ui.MultiChannelAdcRateComboBox, ui.CurrentValueLMDComboBox})
        allConfirmed = allConfirmed && EntryColors::IsConfirmed(entry);
    ui.StartMultimeterLMDSpeedButton->setEnabled(allConfirmed);
}

void TMainForm::ResetChannelFrame(int channelIndex)
{
    TQvxmAdcChannelFrame *frame = ChannelFrames[channelIndex];
    frame->ChannelNumberLMDCheckBox->setCheckState(Qt::Unchecked);
    frame->InputRangeLMDComboBox->setCurrentIndex(-1);
    frame->ComputationMethodLMDComboBox->setCurrentIndex(-1);
    for (QLineEdit *field : {frame->Value1LMDEdit, frame->Value2LMDEdit}) {
        field->setText(QString::fromLatin1(ValueTables::EmptyValueText));
        QPalette palette = field->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            palette.setColor(group, QPalette::Text, QColor(0, 255, 0));
        field->setPalette(palette);
    }
    frame->SetLedState(Off);
}

void TMainForm::SetControlsEnabled(QWidget *container, bool enabled)
{
    WidgetTree::SetEnabledDeep(container, enabled, ui.AdcIndividualParsLMDSimplePanel);
}

void TMainForm::EnableChannelFrames()
{
    for (TQvxmAdcChannelFrame *frame : ChannelFrames) {
        frame->setEnabled(true);
        frame->QvxmAdcChannelLMDSimplePanel->setEnabled(true);
        frame->ChannelNumberLMDCheckBox->setEnabled(true);
        const bool checked = frame->ChannelNumberLMDCheckBox->isChecked();
        if (checked)
            frame->EnableChannelControls();
        else
            frame->DisableChannelControls();
        if (!checked)
            continue;
        switch (frame->ComputationMethodLMDComboBox->currentIndex()) {
        case 0:
            frame->ShowValueFields(false);
            break;
        case 1:
            frame->ShowValueFields(true);
            break;
        default:
            break;
        }
    }
}

void TMainForm::ApplicationStateChanged(Qt::ApplicationState state)
{
    const bool active = state == Qt::ApplicationActive;
    if (active)
        FixDecimalSeparator();
    for (TQvxmAdcChannelFrame *frame : ChannelFrames)
        if (frame)
            frame->AppActive = active ? 1 : 0;
}

// The group and per-channel handlers, and the rate and current entry, are bound here and
// filled in with the channel-control and entry layers.
void TMainForm::EnaChannelLMDCheckBoxChange(QObject *) {}

void TMainForm::InputRangeLMDComboBoxChange(QObject *) {}

void TMainForm::ComputationMethodLMDComboBoxChange(QObject *) {}

void TMainForm::OnComboBoxChangeText(QObject *, qintptr) {}

void TMainForm::CfgFileNameEditChange()
{
    ui.CfgFileNameEdit->setToolTip(ui.CfgFileNameEdit->text());
}

void TMainForm::VerifySplitterMoved()
{
    // Start, then end, so that the end of a long file name is in view.
    ui.CfgFileNameEdit->setCursorPosition(0);
    ui.CfgFileNameEdit->setCursorPosition(ui.CfgFileNameEdit->text().size());
    ui.CfgFileNameEdit->deselect();
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (ApplicationShortCut(static_cast<QKeyEvent *>(event)->key()))
            return true;
        break;
    case QEvent::ToolTip:
        if (auto *control = qobject_cast<QWidget *>(watched); control && control->window() == this) {
            if (ShowHint(control, static_cast<QHelpEvent *>(event)->globalPos()))
                return true;
        }
        break;
    case QEvent::Wheel:
        if (auto *control = qobject_cast<QWidget *>(watched); control && control->window() == this) {
            const auto *wheel = static_cast<QWheelEvent *>(event);
            if (wheel->angleDelta().y() != 0 && MainFormMouseWheel(control, wheel->angleDelta().y() > 0))
                return true;
        }
        break;
    case QEvent::MouseButtonPress:
        if (watched == ui.MainLMDPageControl->tabBar()) {
            QTabBar *tabs = ui.MainLMDPageControl->tabBar();
            const int index = tabs->tabAt(static_cast<QMouseEvent *>(event)->position().toPoint());
            if (index >= 0 && index != tabs->currentIndex() && !MainLMDPageControlChanging(index))
                return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
