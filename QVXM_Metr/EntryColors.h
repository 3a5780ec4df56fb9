#pragma once

#include <QColor>

class QWidget;

// Text colour of an entry field (edit or combo box): black once its value is confirmed, red
// while a changed value waits for Enter.
namespace EntryColors {

inline const QColor Confirmed{0, 0, 0};
inline const QColor Unconfirmed{255, 0, 0};

void SetTextColor(QWidget *entry, const QColor &color);
QColor TextColor(const QWidget *entry);
inline bool IsConfirmed(const QWidget *entry) { return TextColor(entry) == Confirmed; }

} // namespace EntryColors
