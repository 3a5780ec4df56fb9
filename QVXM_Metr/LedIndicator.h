#pragma once

#include <QColor>
#include <QWidget>

// Round indicator: an LED with a lit and an unlit colour, or a status shape whose two colours
// are the same. Drawn as a filled circle centred in the widget.
class LedIndicator : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool bordered READ bordered WRITE setBordered)

public:
    explicit LedIndicator(QWidget *parent = nullptr);

    void setColors(const QColor &lit, const QColor &unlit);
    // Both colours at once, as a status shape uses them.
    void setColor(const QColor &color) { setColors(color, color); }
    void setLit(bool lit);

    QColor litColor() const { return lit_; }
    QColor unlitColor() const { return unlit_; }
    bool isLit() const { return on; }
    // The colour the indicator shows now.
    QColor shownColor() const { return on ? lit_ : unlit_; }

    bool bordered() const { return border; }
    void setBordered(bool value);

    QSize sizeHint() const override { return {22, 22}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor lit_;
    QColor unlit_;
    bool on = false;
    bool border = true;
};
