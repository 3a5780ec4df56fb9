#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <cstdint>

class TMainForm;

// Kinds of the workers' message dialog; the workers use the error kind only.
enum TMessageDialogKind : std::uint8_t { mdWarning = 0, mdError = 1, mdInformation = 2, mdConfirmation = 3 };

// Parameters of MessageDialog, in the order the workers fill them.
struct MESSAGE_DIALOG_PARS {
    QString Caption;
    std::uint8_t Kind = mdError;
    QMessageBox::StandardButtons Buttons = QMessageBox::Ok;
    // One caption per created button, in button order.
    QStringList ButtonCaptions;
    QString Text;
};

// Object names by which the dialog and its parts can be found while it is open.
namespace MessageDialogNames {
inline const QString Dialog = QStringLiteral("MessageDialog");
inline const QString Text = QStringLiteral("MessageDialogText");
// Followed by the button's position, from 0.
inline const QString ButtonPrefix = QStringLiteral("MessageDialogButton");
} // namespace MessageDialogNames

// Shows the modal message dialog over `form`, with its ESC rule detached while it is open.
// Returns the standard button that closed it, or QMessageBox::NoButton.
int MessageDialog(TMainForm *form, const MESSAGE_DIALOG_PARS &pars);
