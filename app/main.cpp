#include <QSessionManager>

#include "app/QVSingleInstance.h"
#include "app/QVTerminationSignals.h"
#include "model/QVEnvironment.h"
#include "ui/MainForm.h"
#include "ui/Prompter.h"
#include "ui/QVApplication.h"
#include "ui/QVImages.h"

namespace {

constexpr const char* InstanceName = "Tavrin-QN";

// Like the environment, the window lives until the process ends.
TfrmMain* MainWindow = nullptr;

// A request from outside to end the program (a signal, the end of the session) goes the way of
// File > Exit, so the budget and the settings are saved. Until the window exists there is nothing
// to save: the answer is false, and the request keeps its default effect. A save that fails keeps
// the window open with its message, and requests that come while it is up (a session manager
// retrying) leave it so: the budget is never dropped unsaved; a later request tries again.
bool RequestExit() {
    if (MainWindow == nullptr)
        return false;
    MainWindow->ExitApplication();
    if (MainWindow->IsClosing()) {
        // A window hidden in the notification area is no visible last window whose closing
        // would end the loop, so it is ended here.
        QVApplication::quit();
    }
    return true;
}

// The end of the desktop session saves and ends as a signal does. When the save fails, the
// session is asked to wait (its end cancelled) where it lets the program turn to the user, who
// then sees the error and can free space or save elsewhere.
void CommitData(QSessionManager& session) {
    if (MainWindow == nullptr)
        return;
    const bool mayAsk = session.allowsInteraction();
    RequestExit();
    if (mayAsk) {
        if (!MainWindow->IsClosing())
            session.cancel();
        session.release();
    }
}

} // namespace

int main(int argc, char** argv) {
    // A second copy leaves before it touches the display, the settings or the budget; the first
    // copy is left alone.
    if (QVSingleInstance::InstanceExists(InstanceName) ||
        !QVSingleInstance::RegisterInstance(InstanceName))
        return 0;

    // Known from the settings alone, the budget a start opens has the slow part of its open
    // started now, to run while the application and its window are made.
    TQVEnvironment::PrepareLaunchOpen();
    QVApplication app(argc, argv);
    QVApplication::setApplicationName(QStringLiteral("Tavrin Quillvane"));
    QVApplication::setDesktopFileName(QStringLiteral("quillvane"));
    QVApplication::setWindowIcon(QVImages::AppIcon());
    // The main window may hide in the tray; closing a dialog then must not end the program. The
    // window ends the loop itself when it closes.
    QVApplication::setQuitOnLastWindowClosed(false);

    TQVTerminationSignals signalPipe([](int) { return RequestExit(); });
    signalPipe.Install();
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &CommitData);

    TQVEnvironment::StartupErrorHandler = [](const std::string& message) {
        Prompter::Error(nullptr, QString::fromStdString(message));
    };
    try {
        Environment = new TQVEnvironment();
        MainWindow = new TfrmMain();
    } catch (...) {
        // Without the environment or the window there is nothing to run.
        QVApplication::ShowCurrentException();
        return 1;
    }

    // Cancelled at the start-up dialog, or no environment to work with: the closing runs (it
    // writes the settings) and the window is never shown.
    if (MainWindow->IsClosing()) {
        MainWindow->close();
        return 0;
    }
    MainWindow->showMaximized();
    QVApplication::exec();
    return 0;
}
