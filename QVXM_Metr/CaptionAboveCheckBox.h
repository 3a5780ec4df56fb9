#pragma once

#include <QCheckBox>

// Check box whose caption is centred above its glyph; the whole widget toggles it.
class CaptionAboveCheckBox : public QCheckBox {
    Q_OBJECT

public:
    explicit CaptionAboveCheckBox(QWidget *parent = nullptr);

    // Pixels between the caption and the glyph.
    void setSpacing(int pixels) { spacing = pixels; update(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override { return rect().contains(pos); }

private:
    QRect glyphRect() const;
    int spacing = 4;
};
