#pragma once

#include "ui_QVXMAdcChannelPanel.h"

#include <QWidget>

#include <cstdint>

class CaptionAboveCheckBox;
class LedIndicator;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;

// States of a channel's update indicator; any other value leaves the LED as it is.
enum TLedState : int { Idle = 0, Off = 1 };

// Panel of one input channel: on/off box with the channel number, range and method selectors,
// the two value fields with their captions and the update LED.
class TQvxmAdcChannelFrame : public QWidget {
    Q_OBJECT

public:
    // Built from the form alone.
    explicit TQvxmAdcChannelFrame(QWidget *owner);
    // Built and set up for channel `channelIndex` with `rangeCount` input ranges in mV.
    TQvxmAdcChannelFrame(QWidget *owner, int rangeCount, const double *ranges, std::uint16_t channelIndex);

    QFrame *QvxmAdcChannelLMDSimplePanel;
    CaptionAboveCheckBox *ChannelNumberLMDCheckBox;
    QLineEdit *Value1LMDEdit;
    QLineEdit *Value2LMDEdit;
    LedIndicator *FlashLed;
    QLabel *InputRangeLabLMDComboBox;
    QComboBox *InputRangeLMDComboBox;
    QComboBox *ComputationMethodLMDComboBox;
    QLabel *ComputationMethodLabLMDComboBox;
    QLabel *Value1LabLMDLabel;
    QLabel *Value2LabLMDLabel;
    std::uint16_t ChannelIndex = 0;
    // 1 while this application is the active one; the main window keeps it up to date.
    int AppActive = 0;

    void EnableChannelControls();
    void DisableChannelControls();
    void DisablePanel();
    // Enables the voltage field and, for an AC channel, the frequency field with their captions.
    void ShowValueFields(bool withFrequency);
    static void SetEnabledDeep(QWidget *container, bool enabled);
    void SetLedState(TLedState state);

    void ValueLMDEditChange(QObject *sender);
    void ValueLMDEditExit(QObject *sender);
    void ValueLMDEditMouseEnter(QObject *sender);
    void ValueLMDEditMouseExit(QObject *sender);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void SetChannelControlsEnabled(bool enabled);

    Ui::QvxmAdcChannelFrame ui;
};
