#include "EntryColors.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPalette>

namespace EntryColors {

void SetTextColor(QWidget *entry, const QColor &color)
{
    QPalette palette = entry->palette();
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    entry->setPalette(palette);
    // An editable combo box draws its text in its own line edit.
    if (auto *combo = qobject_cast<QComboBox *>(entry); combo && combo->lineEdit()) {
        QPalette editPalette = combo->lineEdit()->palette();
        editPalette.setColor(QPalette::Text, color);
        combo->lineEdit()->setPalette(editPalette);
    }
}

QColor TextColor(const QWidget *entry)
{
    if (auto *combo = qobject_cast<const QComboBox *>(entry); combo && combo->lineEdit())
        return combo->lineEdit()->palette().color(QPalette::Text);
    return entry->palette().color(QPalette::Text);
}

} // namespace EntryColors
