#pragma once

// The built program as a user's session runs it, on a virtual display: the X tools that watch and
// drive it, and a fixture that prepares its budget and settings, starts it and ends it.
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include "model/QVEnvironment.h"
#include "support/TempDir.h"

constexpr int TimeoutMs = 30000;
constexpr time_t OldTime = 946684800; // 2000-01-01, long before any run of these tests

// Runs a small X tool and gives its standard output; empty when it failed.
QString Tool(const QString& program, const QStringList& arguments);
QStringList ToolLines(const QString& program, const QStringList& arguments);

// Waits up to TimeoutMs for `condition`; false when it never held.
bool WaitFor(const std::function<bool()>& condition);

bool WindowShown();
// The first shown window titled exactly `title` (a pattern), or an empty text.
QString WindowNamed(const QString& title);
// Keys go where the focus is, as on a desktop; there is no window manager to give it.
void Keys(const QString& window, const QStringList& keys);

// The program's icon window inside the notification area, or an empty text.
QString TrayIconWindow();
bool IconInTray();
// The program's top-level windows that can be seen: its main window and any dialog.
int ViewableWindows();

void MakeOld(const std::string& path);
bool WrittenSince(const std::string& path);

class ProcessTest : public ::testing::Test {
protected:
    TTempDir Home;
    TScopedEnv HomeVar{"HOME", Home.Path()};
    TScopedEnv ConfigHome{"XDG_CONFIG_HOME", Home.File("config")};
    TScopedEnv DataHome{"XDG_DATA_HOME", Home.File("data")};
    TScopedEnv RuntimeDir{"XDG_RUNTIME_DIR", Home.File("run")};
    // The program's objects live until the process ends; under the leak checker that is noise,
    // not a finding of these tests.
    TScopedEnv Asan{"ASAN_OPTIONS", qgetenv("ASAN_OPTIONS").toStdString() + ":detect_leaks=0"};
    const std::string Budget = Home.File("Household.qvb");
    QProcess Tray;

    void SetUp() override;
    void TearDown() override;

    // A saved budget "Process test" that the program opens by itself at start, with the settings
    // `adjust` asks for; both files look long untouched. `account` names its only account, and
    // `fill` adds to it.
    void PrepareBudget(const std::function<void(TQVSettings&)>& adjust = {},
                       const std::u16string& account = {},
                       const std::function<void(TQVEnvironment&)>& fill = {});
    // The budget as the program left it on the disk, for `read` to look at.
    void ReadBudget(const std::function<void(TQVEnvironment&)>& read);

    // A notification area along the bottom of the screen.
    void StartTray();
    static std::unique_ptr<QProcess> Start(const QString& program,
                                           const QStringList& arguments = {});
    // Sends `signalNumber` and expects the program to end normally, the budget saved.
    void End(QProcess& program, int signalNumber);
};
