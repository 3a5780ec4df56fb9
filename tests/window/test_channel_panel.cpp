// The channel panel on its own: construction, enable rules, LED states, value-field selection.
#include "CaptionAboveCheckBox.h"
#include "LedIndicator.h"
#include "QVXMAdcChannelPanel.h"

#include <QApplication>
#include <QTest>

#include <array>
#include <memory>

namespace {

constexpr std::array<double, 2> Ranges{35.0, 70.0};

QList<QWidget *> ChannelControls(TQvxmAdcChannelFrame &f)
{
    return {f.InputRangeLMDComboBox, f.InputRangeLabLMDComboBox, f.ComputationMethodLMDComboBox,
            f.ComputationMethodLabLMDComboBox, f.Value1LMDEdit, f.Value1LabLMDLabel, f.Value2LMDEdit,
            f.Value2LabLMDLabel, f.FlashLed};
}

} // namespace

class TestChannelPanel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void construction_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("caption");
        QTest::newRow("first") << 0 << QStringLiteral("Канал 1");
        QTest::newRow("last") << 15 << QStringLiteral("Канал 16");
    }
    void construction()
    {
        QFETCH(int, channel);
        QFETCH(QString, caption);
        QWidget owner;
        TQvxmAdcChannelFrame frame(&owner, 2, Ranges.data(), std::uint16_t(channel));
        QCOMPARE(frame.ChannelIndex, std::uint16_t(channel));
        QCOMPARE(frame.ChannelNumberLMDCheckBox->text(), caption);
        for (QWidget *tagged : std::initializer_list<QWidget *>{frame.ChannelNumberLMDCheckBox,
                                                                frame.InputRangeLMDComboBox,
                                                                frame.ComputationMethodLMDComboBox})
            QCOMPARE(tagged->property("Tag").toInt(), channel);
        QCOMPARE(frame.InputRangeLMDComboBox->count(), 2);
        QCOMPARE(frame.InputRangeLMDComboBox->itemText(0), QStringLiteral(" 35 мВ"));
        QCOMPARE(frame.InputRangeLMDComboBox->itemText(1), QStringLiteral(" 70 мВ"));
        QCOMPARE(frame.InputRangeLMDComboBox->maxVisibleItems(), 2);
        QCOMPARE(frame.ComputationMethodLMDComboBox->itemText(0), QStringLiteral("  DC"));
        QCOMPARE(frame.ComputationMethodLMDComboBox->itemText(1), QStringLiteral("  AC"));
        QCOMPARE(frame.AppActive, 0);
        QCOMPARE(frame.QvxmAdcChannelLMDSimplePanel->geometry(), QRect(0, 0, 588, 66));
        QCOMPARE(frame.Value1LMDEdit->geometry(), QRect(240, 27, 158, 37));
        QVERIFY(frame.Value1LMDEdit->isReadOnly());
        QCOMPARE(frame.Value1LMDEdit->focusPolicy() & Qt::TabFocus, 0);
        const QColor face = QApplication::palette().color(QPalette::Button);
        QCOMPARE(frame.FlashLed->shownColor(), face);
        QVERIFY(!frame.FlashLed->isLit());
    }

    void noRanges()
    {
        QWidget owner;
        TQvxmAdcChannelFrame frame(&owner, 0, nullptr, 3);
        QCOMPARE(frame.InputRangeLMDComboBox->count(), 0);
        QCOMPARE(frame.InputRangeLMDComboBox->maxVisibleItems(), 0);
    }

    void ledStates()
    {
        QWidget owner;
        TQvxmAdcChannelFrame frame(&owner, 2, Ranges.data(), 0);
        frame.FlashLed->setLit(true);
        frame.SetLedState(Idle);
        QCOMPARE(frame.FlashLed->litColor(), QColor(255, 0, 0));
        QCOMPARE(frame.FlashLed->unlitColor(), QColor(0, 128, 0));
        QVERIFY(!frame.FlashLed->isLit());
        QCOMPARE(frame.FlashLed->shownColor(), QColor(0, 128, 0));

        frame.SetLedState(static_cast<TLedState>(7));  // unknown state: nothing changes
        QCOMPARE(frame.FlashLed->unlitColor(), QColor(0, 128, 0));

        frame.FlashLed->setLit(true);
        frame.SetLedState(Off);
        const QColor face = QApplication::palette().color(QPalette::Button);
        QCOMPARE(frame.FlashLed->litColor(), face);
        QCOMPARE(frame.FlashLed->unlitColor(), face);
        QVERIFY(!frame.FlashLed->isLit());
    }

    void enableRules()
    {
        QWidget owner;
        TQvxmAdcChannelFrame frame(&owner, 2, Ranges.data(), 0);
        frame.DisablePanel();
        QVERIFY(!frame.QvxmAdcChannelLMDSimplePanel->isEnabled());
        QVERIFY(!frame.ChannelNumberLMDCheckBox->isEnabled());
        for (QWidget *control : ChannelControls(frame))
            QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));

        // The channel controls follow Enable/Disable; check box and inner panel do not.
        frame.QvxmAdcChannelLMDSimplePanel->setEnabled(true);
        frame.EnableChannelControls();
        for (QWidget *control : ChannelControls(frame))
            QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
        QVERIFY(!frame.ChannelNumberLMDCheckBox->isEnabled());
        frame.ChannelNumberLMDCheckBox->setEnabled(true);
        frame.DisableChannelControls();
        for (QWidget *control : ChannelControls(frame))
            QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
        QVERIFY(frame.ChannelNumberLMDCheckBox->isEnabled());
        QVERIFY(frame.QvxmAdcChannelLMDSimplePanel->isEnabled());
    }

    void valueSelection_data()
    {
        QTest::addColumn<int>("appActive");
        QTest::addColumn<bool>("underMouse");
        QTest::addColumn<bool>("selected");
        QTest::newRow("active, under pointer") << 1 << true << true;
        QTest::newRow("active, elsewhere") << 1 << false << false;
        QTest::newRow("inactive, under pointer") << 0 << true << false;
    }
    void valueSelection()
    {
        QFETCH(int, appActive);
        QFETCH(bool, underMouse);
        QFETCH(bool, selected);
        QWidget owner;
        TQvxmAdcChannelFrame frame(&owner, 2, Ranges.data(), 0);
        frame.AppActive = appActive;
        frame.Value1LMDEdit->setAttribute(Qt::WA_UnderMouse, underMouse);
        frame.Value1LMDEdit->setText(QStringLiteral("12.3456"));
        frame.Value1LMDEdit->setText(QStringLiteral("12.3457"));
        QCOMPARE(frame.Value1LMDEdit->hasSelectedText(), selected);
        QCOMPARE(frame.Value1LMDEdit->selectedText(), selected ? QStringLiteral("12.3457") : QString());

        frame.ValueLMDEditExit(frame.Value1LMDEdit);
        if (appActive == 1)
            QVERIFY(!frame.Value1LMDEdit->hasSelectedText());
    }
};

QTEST_MAIN(TestChannelPanel)
#include "test_channel_panel.moc"
