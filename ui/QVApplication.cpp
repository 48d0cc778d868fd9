#include "ui/QVApplication.h"

#include <cstdio>
#include <exception>

#include "platform/Exception.h"
#include "ui/Prompter.h"

QVApplication::QVApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool QVApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowCurrentException();
        return false;
    }
}

void QVApplication::ShowCurrentException() {
    const QString message = CurrentExceptionMessage();
    // The message box runs an event loop of its own; an error that keeps coming back (a failing
    // paint, say) would otherwise stack boxes without end. While one is up, others go to stderr.
    static bool showing = false;
    if (showing) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        return;
    }
    showing = true;
    try {
        // Over the window the user works in; an error escaping a menu's command finds the menu
        // active, and the menu closes under the box.
        Prompter::Error(Prompter::OwnerWindow(), message);
    } catch (...) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    }
    showing = false;
}

QString QVApplication::CurrentExceptionMessage() {
    try {
        throw;
    } catch (const Exception& error) {
        return QString::fromStdString(error.Message());
    } catch (const std::exception& error) {
        return QString::fromLocal8Bit(error.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}
