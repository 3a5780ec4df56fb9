#include "CaptionAboveCheckBox.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

CaptionAboveCheckBox::CaptionAboveCheckBox(QWidget *parent) : QCheckBox(parent) {}

QRect CaptionAboveCheckBox::glyphRect() const
{
    const int w = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
    const int h = style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
    const int textHeight = fontMetrics().height();
    const int used = textHeight + spacing + h;
    const int top = (height() - used) / 2 + textHeight + spacing;
    return {(width() - w) / 2, top, w, h};
}

QSize CaptionAboveCheckBox::sizeHint() const
{
    const int h = style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
    const QSize text = fontMetrics().size(Qt::TextShowMnemonic, this->text());
    return {text.width() + 8, text.height() + spacing + h + 6};
}

void CaptionAboveCheckBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);

    const QRect glyph = glyphRect();
    const QRect caption(0, glyph.top() - spacing - fontMetrics().height(), width(), fontMetrics().height());
    style()->drawItemText(&painter, caption, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextShowMnemonic,
                          option.palette, isEnabled(), text(), QPalette::WindowText);

    QStyleOptionButton indicator = option;
    indicator.rect = glyph;
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &indicator, &painter, this);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = caption.adjusted(2, 0, -2, 0);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}
