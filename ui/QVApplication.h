#pragma once

#include <QApplication>
#include <QString>

// The application object. Every error that escapes an event handler ends here: the user sees its
// message and the program goes on with the next event, so one failed command never takes the
// open budget down with it. It also keeps a paste of nothing from the text fields
// (TQVPasteGuard).
class QVApplication : public QApplication {
public:
    QVApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the error being handled; call it only from inside a catch block.
    static void ShowCurrentException();
    // The text shown for the error being handled: our errors' message, a standard error's what(),
    // "Unknown error" for anything else.
    static QString CurrentExceptionMessage();
};
