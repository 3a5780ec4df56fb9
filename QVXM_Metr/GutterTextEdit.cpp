#include "GutterTextEdit.h"

#include <QPainter>
#include <QTextBlock>

namespace {

class GutterArea : public QWidget {
public:
    explicit GutterArea(GutterTextEdit *edit) : QWidget(edit), owner(edit) {}
    QSize sizeHint() const override { return {owner->gutterWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent *event) override { owner->paintGutter(event); }

private:
    GutterTextEdit *owner;
};

} // namespace

GutterTextEdit::GutterTextEdit(QWidget *parent) : QPlainTextEdit(parent), gutterArea(new GutterArea(this))
{
    connect(this, &QPlainTextEdit::blockCountChanged, this, &GutterTextEdit::updateGutterWidth);
    connect(this, &QPlainTextEdit::updateRequest, this, &GutterTextEdit::updateGutter);
    updateGutterWidth();
}

int GutterTextEdit::gutterWidth() const
{
    int digits = 1;
    for (int count = qMax(1, blockCount()); count >= 10; count /= 10)
        ++digits;
    return 10 + fontMetrics().horizontalAdvance(u'9') * qMax(digits, 3);
}

void GutterTextEdit::updateGutterWidth()
{
    setViewportMargins(gutterWidth(), 0, 0, 0);
}

void GutterTextEdit::updateGutter(const QRect &rect, int dy)
{
    if (dy != 0)
        gutterArea->scroll(0, dy);
    else
        gutterArea->update(0, rect.y(), gutterArea->width(), rect.height());
    if (rect.contains(viewport()->rect()))
        updateGutterWidth();
}

void GutterTextEdit::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    gutterArea->setGeometry(area.left(), area.top(), gutterWidth(), area.height());
}

void GutterTextEdit::paintGutter(QPaintEvent *event)
{
    QPainter painter(gutterArea);
    painter.fillRect(event->rect(), palette().color(QPalette::AlternateBase));
    painter.setPen(palette().color(QPalette::PlaceholderText));
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    while (block.isValid() && top <= event->rect().bottom()) {
        const int height = qRound(blockBoundingRect(block).height());
        if (block.isVisible() && top + height >= event->rect().top())
            painter.drawText(0, top, gutterArea->width() - 5, fontMetrics().height(), Qt::AlignRight,
                             QString::number(block.blockNumber() + 1));
        block = block.next();
        top += height;
    }
}
