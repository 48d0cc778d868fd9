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
bool ExitRequested = false;

// A request from outside to end the program (a signal, the end of the session) goes the way of
// File > Exit, so the budget and the settings are saved. Until the window exists there is nothing
// to save, and a request that comes again while the first is under way is not waited on: both
// answer false, and the request keeps its default effect.
bool RequestExit() {
    if (MainWindow == nullptr || ExitRequested)
        return false;
    ExitRequested = true;
    MainWindow->ExitApplication();
    if (MainWindow->IsClosing()) {
        // A window hidden in the notification area is no visible last window whose closing
        // would end the loop, so it is ended here.
        QVApplication::quit();
    } else {
        // The save failed and the window stayed open with its message; a later request tries
        // again.
        ExitRequested = false;
    }
    return true;
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
    QObject::connect(&app, &QGuiApplication::commitDataRequest, [] { RequestExit(); });

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
