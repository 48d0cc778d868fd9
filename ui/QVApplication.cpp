#include "ui/QVApplication.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>

#include <QMainWindow>
#include <QWindow>

#include "platform/Exception.h"
#include "ui/Prompter.h"
#include "ui/QVPasteGuard.h"

namespace {

// With QV_REPORT_MAPPED set, the wall-clock time at which the main window is first exposed goes
// to the standard output, so a launch can be timed from outside from the exec to the window.
class TMappedReporter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose) {
            auto* window = qobject_cast<QWindow*>(watched);
            if (window != nullptr && window->isExposed() && IsMainWindow(window)) {
                timespec now{};
                ::clock_gettime(CLOCK_REALTIME, &now);
                std::printf("QV_MAPPED %lld.%06ld\n", static_cast<long long>(now.tv_sec),
                            now.tv_nsec / 1000);
                std::fflush(stdout);
                QCoreApplication::instance()->removeEventFilter(this);
                deleteLater();
            }
        }
        return false;
    }

private:
    static bool IsMainWindow(const QWindow* window) {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->windowHandle() == window && qobject_cast<QMainWindow*>(widget) != nullptr)
                return true;
        return false;
    }
};

// Tooltips take no input: the pointer passes through them to what lies beneath. A tooltip opens
// just below the pointer, so a pointer going on to the next row of a list would otherwise enter
// the tooltip instead of the row, and that row would never show its own.
class TPassThroughToolTips : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() != QEvent::Show || widget == nullptr ||
            widget->windowType() != Qt::ToolTip) {
            return false;
        }
        // Once the showing is done: the window system takes the flag only from a window that is
        // there, and a window made anew for its showing would lose it.
        QMetaObject::invokeMethod(
            widget,
            [widget] {
                if (widget->isVisible() && widget->windowHandle() != nullptr) {
                    widget->windowHandle()->setFlag(Qt::WindowTransparentForInput);
                }
            },
            Qt::QueuedConnection);
        return false;
    }
};

} // namespace

void QVApplication::InstallWindowFilters(QApplication& app) {
    app.installEventFilter(new TQVPasteGuard(&app));
    app.installEventFilter(new TPassThroughToolTips(&app));
}

QVApplication::QVApplication(int& argc, char** argv) : QApplication(argc, argv) {
    InstallWindowFilters(*this);
    if (std::getenv("QV_REPORT_MAPPED") != nullptr)
        installEventFilter(new TMappedReporter(this));
}

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
