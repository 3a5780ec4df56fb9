#include "Waiting.h"

#include <QLabel>

TWaitingPanel::TWaitingPanel(QWidget *mainWindow)
    : QWidget(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                              | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("WaitingPanel"));
    setWindowTitle(QStringLiteral("Компенсация разбаланса"));
    setFixedSize(214, 173);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(255, 251, 240));  // cream
    setPalette(palette);

    WatingLMDLabel = new QLabel(QStringLiteral("Придётся подождать примерно  3 - 4 сек."), this);
    WatingLMDLabel->setObjectName(QStringLiteral("WatingLMDLabel"));
    WatingLMDLabel->setGeometry(33, 21, 148, 132);
    WatingLMDLabel->setAlignment(Qt::AlignCenter);
    WatingLMDLabel->setWordWrap(true);
    WatingLMDLabel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    WatingLMDLabel->setLineWidth(2);
    WatingLMDLabel->setAutoFillBackground(true);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(24);
    WatingLMDLabel->setFont(font);
    QPalette labelPalette = WatingLMDLabel->palette();
    labelPalette.setColor(QPalette::Window, QColor(192, 220, 192));  // money green
    labelPalette.setColor(QPalette::WindowText, QColor(128, 0, 0));  // maroon
    WatingLMDLabel->setPalette(labelPalette);
    hide();
}

void TWaitingPanel::showEvent(QShowEvent *event)
{
    if (QWidget *main = parentWidget()) {
        const QRect frame = main->frameGeometry();
        move(frame.x() + (frame.width() - width()) / 2, frame.y() + (frame.height() - height()) / 2);
    }
    QWidget::showEvent(event);
}
