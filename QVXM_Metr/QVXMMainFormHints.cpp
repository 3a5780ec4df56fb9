// Hints: application-wide timing and look, the voltage-field rule and placement in the work area.
#include "QVXMMainForm.h"

#include "QVXMAdcChannelPanel.h"
#include "WindowGeometry.h"

#include <QApplication>
#include <QLineEdit>
#include <QProxyStyle>
#include <QStyle>
#include <QToolTip>

namespace {

// Pause before a hint appears and before it hides again.
class HintTimingStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_ToolTip_WakeUpDelay)
            return 200;
        if (hint == SH_ToolTip_FallAsleepDelay)
            return 1500;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Where Qt puts a tool tip relative to the point it is given.
const QPoint ToolTipOffset(2, 16);

} // namespace

void TMainForm::SetupHints()
{
    if (!dynamic_cast<HintTimingStyle *>(QApplication::style()))
        QApplication::setStyle(new HintTimingStyle(QApplication::style()->name()));
    QPalette palette = QToolTip::palette();
    palette.setColor(QPalette::ToolTipBase, QColor(255, 255, 164));
    palette.setColor(QPalette::ToolTipText, Qt::black);
    QToolTip::setPalette(palette);
    QFont font(QStringLiteral("Courier New"));
    font.setPointSize(12);
    font.setBold(true);
    QToolTip::setFont(font);
    HintWindowFound = true;

    hintReshowTimer.setSingleShot(true);
    connect(&hintReshowTimer, &QTimer::timeout, this, [this] {
        // A hint whose text the display keeps changing is shown again with the new text.
        if (hintControl && hintControl->underMouse() && QToolTip::isVisible())
            ShowHint(hintControl, hintCursor);
    });
}

TMainForm::HintDecision TMainForm::ApplicationShowHint(QWidget *control, const QString &text,
                                                       const QPoint &cursorPos) const
{
    HintDecision decision;
    if (control->objectName() == QLatin1String("Value1LMDEdit") && qobject_cast<QLineEdit *>(control)) {
        bool ofChannel = false;
        for (const TQvxmAdcChannelFrame *frame : ChannelFrames)
            ofChannel = ofChannel || (frame && frame->Value1LMDEdit == control);
        if (!ofChannel) {
            decision.Show = false;
            return decision;
        }
        decision.ReshowTimeout = 100;
    }
    if (HintWindowFound) {
        const QRect work = WorkArea();
        const QFontMetrics metrics(QToolTip::font());
        const QRect textRect = metrics.boundingRect(QRect(0, 0, work.width(), 0),
                                                    Qt::AlignLeft | Qt::TextWordWrap, text);
        const int margin = 2 * (style()->pixelMetric(QStyle::PM_ToolTipLabelFrameWidth) + 2);
        const QRect hint(cursorPos + ToolTipOffset, textRect.size() + QSize(margin, margin));
        decision.Rect = WindowGeometry::PlaceHint(hint, work);
    }
    decision.HideTimeout = 2000;
    return decision;
}

bool TMainForm::ShowHint(QWidget *control, const QPoint &cursorPos)
{
    const QString text = control->toolTip();
    if (text.isEmpty())
        return false;
    const HintDecision decision = ApplicationShowHint(control, text, cursorPos);
    if (!decision.Show) {
        QToolTip::hideText();
        return true;
    }
    const QPoint at = decision.Rect.isNull() ? cursorPos : decision.Rect.topLeft() - ToolTipOffset;
    QToolTip::showText(at, text, control, QRect(), decision.HideTimeout);
    hintControl = control;
    hintCursor = cursorPos;
    if (decision.ReshowTimeout > 0)
        hintReshowTimer.start(decision.ReshowTimeout);
    return true;
}
