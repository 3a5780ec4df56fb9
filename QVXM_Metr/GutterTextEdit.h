#pragma once

#include <QPlainTextEdit>

// Plain-text box with a gutter of line numbers at its left.
class GutterTextEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit GutterTextEdit(QWidget *parent = nullptr);

    QWidget *gutter() const { return gutterArea; }
    int gutterWidth() const;
    void paintGutter(QPaintEvent *event);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateGutterWidth();
    void updateGutter(const QRect &rect, int dy);

    QWidget *gutterArea;
};
