#pragma once

#include <QApplication>
#include <QString>

// The application object. Every error that escapes an event handler ends here: the user sees its
// message and the program goes on with the next event, so one failed command never takes the
// open budget down with it. It also installs the filters every window relies on.
class QVApplication : public QApplication {
public:
    QVApplication(int& argc, char** argv);

    // What the windows rely on, installed on `app`: the text fields' paste guard (TQVPasteGuard)
    // and tooltips that the pointer passes through. The program's application object installs
    // them itself; the windows' tests, which run under a plain application object, call this.
    static void InstallWindowFilters(QApplication& app);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the error being handled; call it only from inside a catch block.
    static void ShowCurrentException();
    // The text shown for the error being handled: our errors' message, a standard error's what(),
    // "Unknown error" for anything else.
    static QString CurrentExceptionMessage();
};
