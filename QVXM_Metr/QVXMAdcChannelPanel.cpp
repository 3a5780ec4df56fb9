#include "QVXMAdcChannelPanel.h"

#include "CaptionAboveCheckBox.h"
#include "LedIndicator.h"
#include "ValueTables.h"
#include "WidgetTree.h"

#include <QApplication>
#include <QEvent>

namespace {

void StyleValueField(QLineEdit *edit)
{
    QPalette palette = edit->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, Qt::black);
        palette.setColor(group, QPalette::Text, QColor(0, 255, 0));
        palette.setColor(group, QPalette::Highlight, Qt::white);
        palette.setColor(group, QPalette::HighlightedText, QColor(0, 128, 0));
    }
    edit->setPalette(palette);
    edit->setFrame(true);
}

} // namespace

TQvxmAdcChannelFrame::TQvxmAdcChannelFrame(QWidget *owner) : QWidget(owner)
{
    ui.setupUi(this);
    QvxmAdcChannelLMDSimplePanel = ui.QvxmAdcChannelLMDSimplePanel;
    ChannelNumberLMDCheckBox = ui.ChannelNumberLMDCheckBox;
    Value1LMDEdit = ui.Value1LMDEdit;
    Value2LMDEdit = ui.Value2LMDEdit;
    FlashLed = ui.FlashLed;
    InputRangeLabLMDComboBox = ui.InputRangeLabLMDComboBox;
    InputRangeLMDComboBox = ui.InputRangeLMDComboBox;
    ComputationMethodLMDComboBox = ui.ComputationMethodLMDComboBox;
    ComputationMethodLabLMDComboBox = ui.ComputationMethodLabLMDComboBox;
    Value1LabLMDLabel = ui.Value1LabLMDLabel;
    Value2LabLMDLabel = ui.Value2LabLMDLabel;

    setProperty("panel", true);
    ChannelNumberLMDCheckBox->setSpacing(4);
    for (QLabel *label : {InputRangeLabLMDComboBox, ComputationMethodLabLMDComboBox, Value1LabLMDLabel,
                          Value2LabLMDLabel}) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::Active, QPalette::WindowText, Qt::black);
        palette.setColor(QPalette::Inactive, QPalette::WindowText, Qt::black);
        label->setPalette(palette);
    }
    for (QLineEdit *edit : {Value1LMDEdit, Value2LMDEdit}) {
        StyleValueField(edit);
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { ValueLMDEditChange(edit); });
        edit->installEventFilter(this);
    }
    setVisible(false);
}

TQvxmAdcChannelFrame::TQvxmAdcChannelFrame(QWidget *owner, int rangeCount, const double *ranges,
                                           std::uint16_t channelIndex)
    : TQvxmAdcChannelFrame(owner)
{
    ChannelIndex = channelIndex;
    ChannelNumberLMDCheckBox->setText(ValueTables::ChannelCaption(channelIndex));
    for (QWidget *tagged : std::initializer_list<QWidget *>{ChannelNumberLMDCheckBox, InputRangeLMDComboBox,
                                                            ComputationMethodLMDComboBox})
        tagged->setProperty("Tag", int(channelIndex));
    InputRangeLMDComboBox->clear();
    for (int i = 0; i < rangeCount; ++i)
        InputRangeLMDComboBox->addItem(ValueTables::ChannelRangeItemText(ranges[i]));
    InputRangeLMDComboBox->setMaxVisibleItems(qMax(rangeCount, 0));
    InputRangeLMDComboBox->setCurrentIndex(-1);
    SetLedState(Off);
    AppActive = 0;
}

void TQvxmAdcChannelFrame::SetChannelControlsEnabled(bool enabled)
{
    for (QWidget *control : std::initializer_list<QWidget *>{
             InputRangeLMDComboBox, InputRangeLabLMDComboBox, ComputationMethodLMDComboBox,
             ComputationMethodLabLMDComboBox, Value1LMDEdit, Value1LabLMDLabel, Value2LMDEdit,
             Value2LabLMDLabel, FlashLed})
        control->setEnabled(enabled);
}

void TQvxmAdcChannelFrame::EnableChannelControls()
{
    SetChannelControlsEnabled(true);
}

void TQvxmAdcChannelFrame::DisableChannelControls()
{
    SetChannelControlsEnabled(false);
}

void TQvxmAdcChannelFrame::DisablePanel()
{
    SetEnabledDeep(QvxmAdcChannelLMDSimplePanel, false);
}

void TQvxmAdcChannelFrame::ShowValueFields(bool withFrequency)
{
    Value1LMDEdit->setEnabled(true);
    Value1LabLMDLabel->setEnabled(true);
    Value1LabLMDLabel->setText(QStringLiteral("Напряжение, мВ"));
    Value2LMDEdit->setEnabled(withFrequency);
    Value2LabLMDLabel->setEnabled(withFrequency);
    if (withFrequency)
        Value2LabLMDLabel->setText(QStringLiteral("Частота, кГц"));
    else
        Value2LabLMDLabel->clear();
}

void TQvxmAdcChannelFrame::SetEnabledDeep(QWidget *container, bool enabled)
{
    WidgetTree::SetEnabledDeep(container, enabled);
}

void TQvxmAdcChannelFrame::SetLedState(TLedState state)
{
    switch (state) {
    case Idle:
        FlashLed->setColors(QColor(255, 0, 0), QColor(0, 128, 0));
        break;
    case Off: {
        const QColor face = QApplication::palette().color(QPalette::Button);
        FlashLed->setColors(face, face);
        break;
    }
    default:
        return;
    }
    FlashLed->setLit(false);
}

void TQvxmAdcChannelFrame::ValueLMDEditChange(QObject *sender)
{
    auto *edit = qobject_cast<QLineEdit *>(sender);
    // A value under the pointer stays selected, ready to copy, while it keeps changing.
    if (AppActive == 1 && edit && edit->underMouse())
        edit->selectAll();
}

void TQvxmAdcChannelFrame::ValueLMDEditExit(QObject *sender)
{
    if (auto *edit = qobject_cast<QLineEdit *>(sender); AppActive == 1 && edit)
        edit->deselect();
}

void TQvxmAdcChannelFrame::ValueLMDEditMouseEnter(QObject *) {}

void TQvxmAdcChannelFrame::ValueLMDEditMouseExit(QObject *) {}

bool TQvxmAdcChannelFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Value1LMDEdit || watched == Value2LMDEdit) {
        switch (event->type()) {
        case QEvent::FocusOut:
            ValueLMDEditExit(watched);
            break;
        case QEvent::Enter:
            ValueLMDEditMouseEnter(watched);
            break;
        case QEvent::Leave:
            ValueLMDEditMouseExit(watched);
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
