#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QComboBox>
#include <QDialog>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include "model/QVA2A.h"
#include "model/QVEnvironment.h"
#include "support/TempDir.h"
#include "ui/Prompter.h"

class QAbstractItemModel;
class QAbstractItemModelTester;

// Each test gets a fresh global Environment over temporary per-user folders, with the English
// table loaded, and answers every question the windows ask through the Prompter hooks: messages
// are recorded and answered from a queue (OK when it runs dry), dialogs are handed to scripted
// actions in order (rejected when none is left), file choosers return queued names.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new environment, as a fresh start of the program finds it.
    static void StartEnvironment();
    static TQVEnvironment& Env() { return *Environment; }
    // The texts of the messages shown since the last call.
    QStringList TakeMessages();

    std::vector<Prompter::Message> Messages;
    std::deque<QMessageBox::StandardButton> MessageAnswers;
    std::deque<std::function<void(QDialog&)>> DialogActions;
    std::deque<QString> FileAnswers;
    // Titles (window titles) of the dialogs run so far, in order.
    std::vector<QString> DialogsRun;

    TTempDir Home;
    TScopedEnv DataHome{"XDG_DATA_HOME", Home.Path() + "/data"};
    TScopedEnv ConfigHome{"XDG_CONFIG_HOME", Home.Path() + "/config"};
    TScopedEnv RuntimeDir{"XDG_RUNTIME_DIR", Home.Path() + "/run"};
    TScopedEnv HomeDir{"HOME", Home.Path()};
};

// Finds a child by object name or fails the test.
template <class T> T* Child(QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << "no child " << name;
    return child;
}

using DialogAction = std::function<void(QDialog&)>;

// Clicks a button with the mouse; a check box on its box, since the widget may be wider than its
// caption.
void ClickOn(QObject& parent, const char* button);
// Replaces the text of a line edit, or of an editable combo box, as a user selecting it all and
// typing over it does.
void TypeText(QObject& parent, const char* edit, const QString& text);
// A dialog action that clicks `button`.
DialogAction Press(const char* button);
// A dialog action that types `text` into `edit` and clicks `button`.
DialogAction TypeAndPress(const char* edit, const QString& text, const char* button = "btnOK");
// The texts of a combo box's entries.
QStringList Entries(const QComboBox& combo);
QStringList Entries(QObject& parent, const char* combo);
// An amount written with a point, as the user of the system locale types and reads it.
QString Local(const char* amount);
// The text a tooltip made by QVUIUtils::WholeTextToolTip shows, without the breaks it offers.
QString ToolTipText(const QString& toolTip);
// The tooltip window a user resting the mouse at `point` of `widget` sees, or null.
QWidget* ToolTipWindowAt(QWidget& widget, const QPoint& point);

// A flow of kind T (income, expense or transfer) added to `month`.
template <class T>
T& AddFlow(TQVMonth& month, long double sum, TQVSource* source, TDateTime date = QVUtils::Now()) {
    const int index = std::is_same_v<T, TQVIncomeItem>    ? month.AddIncome()
                      : std::is_same_v<T, TQVExpenseItem> ? month.AddExpense()
                                                          : month.AddA2A();
    auto& flow = static_cast<T&>(*month.GetFlow(index));
    flow.Sum = sum;
    flow.Date = date;
    flow.Source = source;
    return flow;
}
TQVSource* NewAccount(const char16_t* name);

// Runs Qt's model checker over a model for its lifetime, including every change made meanwhile;
// each complaint fails the test.
class TModelChecker {
public:
    explicit TModelChecker(QAbstractItemModel& model);
    ~TModelChecker();

private:
    QtMessageHandler FPrevious = nullptr;
    std::unique_ptr<QAbstractItemModelTester> FTester;
};
