#include "MessageDialog.h"

#include "QVXMMainForm.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <utility>

namespace {

constexpr int DialogWidth = 570;
constexpr int FontPointSize = 12;
constexpr int Margin = 12;
constexpr int IconSpacing = 12;

QStyle::StandardPixmap IconOf(std::uint8_t kind)
{
    switch (kind) {
    case mdWarning: return QStyle::SP_MessageBoxWarning;
    case mdInformation: return QStyle::SP_MessageBoxInformation;
    case mdConfirmation: return QStyle::SP_MessageBoxQuestion;
    default: return QStyle::SP_MessageBoxCritical;
    }
}

QString DefaultCaption(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Yes: return QStringLiteral("Да");
    case QMessageBox::No: return QStringLiteral("Нет");
    case QMessageBox::Cancel: return QStringLiteral("Отмена");
    default: return QStringLiteral("OK");
    }
}

// Restores the ESC rule however the dialog ends.
class ShortCutHookDetach {
public:
    explicit ShortCutHookDetach(TMainForm *form) : form_(form)
    {
        if (form_)
            previous_ = std::exchange(form_->ShortCutHookEnabled, false);
    }
    ~ShortCutHookDetach()
    {
        if (form_)
            form_->ShortCutHookEnabled = previous_;
    }
    ShortCutHookDetach(const ShortCutHookDetach &) = delete;
    ShortCutHookDetach &operator=(const ShortCutHookDetach &) = delete;

private:
    TMainForm *form_;
    bool previous_ = true;
};

} // namespace

int MessageDialog(TMainForm *form, const MESSAGE_DIALOG_PARS &pars)
{
    QDialog dialog(form);
    dialog.setObjectName(MessageDialogNames::Dialog);
    dialog.setWindowTitle(pars.Caption);
    dialog.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    dialog.setModal(true);

    QFont font = dialog.font();
    font.setPointSize(FontPointSize);
    dialog.setFont(font);
    if (pars.Kind == mdError) {
        QPalette palette = dialog.palette();
        palette.setColor(QPalette::Window, QColor(255, 128, 32));
        palette.setColor(QPalette::WindowText, Qt::white);
        dialog.setPalette(palette);
        dialog.setAutoFillBackground(true);
    }

    auto *icon = new QLabel(&dialog);
    icon->setObjectName(QStringLiteral("MessageDialogIcon"));
    const int iconSize = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &dialog);
    icon->setPixmap(dialog.style()->standardIcon(IconOf(pars.Kind), nullptr, &dialog).pixmap(iconSize, iconSize));
    icon->setGeometry(Margin, Margin, iconSize, iconSize);

    // The text takes the whole width right of the icon and wraps inside it.
    auto *text = new QLabel(pars.Text, &dialog);
    text->setObjectName(MessageDialogNames::Text);
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    const int textLeft = Margin + iconSize + IconSpacing;
    const int textWidth = DialogWidth - textLeft - Margin;
    const int textHeight = std::max(text->heightForWidth(textWidth), iconSize);
    text->setGeometry(textLeft, Margin, textWidth, textHeight);

    const QFontMetrics metrics(font);
    QList<QPushButton *> buttons;
    int index = 0;
    for (int bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1) {
        const auto standard = QMessageBox::StandardButton(bit);
        if (!(pars.Buttons & standard))
            continue;
        const QString caption = index < pars.ButtonCaptions.size() ? pars.ButtonCaptions[index] : DefaultCaption(standard);
        auto *button = new QPushButton(caption, &dialog);
        button->setObjectName(MessageDialogNames::ButtonPrefix + QString::number(index));
        button->setAutoDefault(index == 0);
        button->setDefault(index == 0);
        button->resize(metrics.horizontalAdvance(caption) + 20, metrics.height() + 15);
        QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, standard] { dialog.done(standard); });
        buttons.append(button);
        ++index;
    }
    // The buttons sit side by side, centred as a row, 10 pixels below the text.
    int rowWidth = 0;
    for (QPushButton *button : std::as_const(buttons))
        rowWidth += button->width();
    rowWidth += std::max<int>(0, int(buttons.size()) - 1) * 10;
    int x = (DialogWidth - rowWidth) / 2;
    int bottom = text->geometry().bottom() + 1;
    for (QPushButton *button : std::as_const(buttons)) {
        button->move(x, text->geometry().bottom() + 1 + 10);
        x += button->width() + 10;
        bottom = button->geometry().bottom() + 1;
    }
    dialog.setFixedSize(DialogWidth, bottom + 10);

    // Centred over the main window.
    const QRect owner = form ? form->frameGeometry() : QGuiApplication::primaryScreen()->availableGeometry();
    dialog.move(owner.center() - QPoint(DialogWidth / 2, dialog.height() / 2));
    if (!buttons.isEmpty())
        buttons.first()->setFocus();

    ShortCutHookDetach detach(form);
    const int result = dialog.exec();
    return result == QDialog::Rejected ? int(QMessageBox::NoButton) : result;
}
