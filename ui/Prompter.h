#pragma once

#include <functional>

#include <QMessageBox>
#include <QString>

class QDialog;
class QWidget;

// The one seam through which the program asks the user anything: message boxes, modal dialogs
// and file choosers. Tests (and scripted screenshot runs) answer through the hooks instead of a
// person, so no question ever blocks them.
namespace Prompter {

enum class Kind { Error, Warning, Information, Question };

struct Message {
    Kind kind;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
};

enum class FileMode { Open, Save };

// The window a box or dialog is shown over and owned by: the window of `wanted` (without one, the
// active window, else the modal dialog that runs). Pop-ups and tooltips are passed over for the
// window they belong to, or the main window when they belong to none: they close, and delete
// themselves, at the first click elsewhere, which would take a box they owned down with them while
// it runs. Null when no window is left.
QWidget* OwnerWindow(QWidget* wanted = nullptr);

// Shows a message box over OwnerWindow(parent) and returns the button chosen; closing the box
// gives its escape button. The text is shown as plain text, and a text too long for the screen
// is cut with "…", so the box and its buttons stay on the screen; the hooks see it so cut.
QMessageBox::StandardButton Show(QWidget* parent, Kind kind, const QString& text,
                                 QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                 const QString& title = {});
// The usual refusal of bad input: error icon, one OK button.
void Error(QWidget* parent, const QString& text);

// Runs `dialog` modally and returns its result (QDialog::Accepted is 1, Rejected 0).
int Exec(QDialog& dialog);

// Asks for a file to open or a name to save under, starting in `folder` with `name` proposed.
// Empty when the user cancels.
QString FileName(QWidget* parent, FileMode mode, const QString& folder, const QString& name);

// When set, a hook is called in place of showing anything. The dialog hook receives the dialog
// already shown (so its show handling has run) and acts on it as a user would, for example by
// filling an edit and clicking OK; a dialog still open when the hook returns is rejected.
struct Hooks {
    std::function<QMessageBox::StandardButton(const Message&)> message;
    std::function<void(QDialog&)> dialog;
    std::function<QString(FileMode, const QString& folder, const QString& name)> file;
};
// Empty hooks bring back the real windows.
void SetHooks(Hooks hooks);

} // namespace Prompter
