// Every dialog answered from the keyboard: Return on a focused Cancel, No or Browse does what
// that button does, never what OK or Yes does; a kept dialog opens with the focus where a new
// one would, whatever the user clicked last time.
#include <algorithm>
#include <functional>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/QVImages.h"
#include "ui/dialogs/BudgetPropsForm.h"
#include "ui/dialogs/IconSelectForm.h"
#include "ui/dialogs/InputBoxForm.h"
#include "ui/dialogs/PasswordChangeForm.h"
#include "ui/dialogs/PasswordRequestForm.h"
#include "ui/dialogs/ProtectionForm.h"
#include "ui/dialogs/QVConfirmationForm.h"
#include "ui/dialogs/QVStringRequestForm.h"
#include "ui/dialogs/SettingsForm.h"
#include "ui/dialogs/StartupForm.h"
#include "ui/dialogs/WarningForm.h"

namespace {

// Moves the focus with Tab, as a user does, until `name` has it; false when it never comes.
bool TabTo(QDialog& dialog, const char* name) {
    if (!QTest::qWaitForWindowActive(&dialog)) {
        return false;
    }
    for (int presses = 0; presses < 40; ++presses) {
        QWidget* focus = QApplication::focusWidget();
        if (focus != nullptr && focus->objectName() == QLatin1String(name)) {
            return true;
        }
        QTest::keyClick(focus != nullptr ? focus : &dialog, Qt::Key_Tab);
    }
    return false;
}

// The name of what has the focus once the dialog is active.
QString FocusIn(QDialog& dialog) {
    if (!QTest::qWaitForWindowActive(&dialog) || QApplication::focusWidget() == nullptr) {
        return QStringLiteral("(none)");
    }
    return QApplication::focusWidget()->objectName();
}

class KeysTest : public UiTest {
protected:
    // Runs the kept dialog of kind T, prepared as its caller does: true when confirmed.
    template <class T> static std::function<bool()> Kept(std::function<void(T&)> prepare) {
        return [prepare] {
            prepare(T::Instance());
            return Prompter::Exec(T::Instance()) == QDialog::Accepted;
        };
    }

    // The kept dialog of kind T, closed with a click on `cancel`, opens the next time with the
    // focus where one made anew has it.
    template <class T>
    void ExpectFocusForgotten(const char* cancel, std::function<void(T&)> prepare) {
        T fresh;
        T& kept = T::Instance();
        SCOPED_TRACE(kept.windowTitle().toStdString());
        QString first, again, anew;
        prepare(fresh);
        DialogActions = {[&](QDialog& d) { anew = FocusIn(d); }};
        Prompter::Exec(fresh);
        prepare(kept);
        DialogActions = {[&](QDialog& d) {
            first = FocusIn(d);
            ASSERT_TRUE(TabTo(d, cancel));
            ClickOn(d, cancel);
        }};
        Prompter::Exec(kept);
        prepare(kept);
        DialogActions = {[&](QDialog& d) { again = FocusIn(d); }};
        Prompter::Exec(kept);
        EXPECT_EQ(first.toStdString(), anew.toStdString());
        EXPECT_EQ(again.toStdString(), anew.toStdString());
        EXPECT_NE(again.toStdString(), cancel);
    }
};

TEST_F(KeysTest, ReturnOnAFocusedCancelNoOrBrowseIsNeverAnAcceptance) {
    const auto runStartup = [](bool showNew, bool showOpen, bool showRecent) {
        return [=] {
            TfrmStartup& dialog = TfrmStartup::Instance();
            const std::vector<std::u16string> titles{u"Home"}, paths{u"/budgets/home.qn"};
            dialog.Setup(showNew, showOpen, showRecent, &titles, &paths, true);
            return Prompter::Exec(dialog) == QDialog::Accepted;
        };
    };
    const auto exec = [](QDialog& dialog) { return Prompter::Exec(dialog) == QDialog::Accepted; };
    const struct {
        const char* button;
        std::function<bool()> run; // runs the dialog as its caller does: true when confirmed
        const char* asks;          // a dialog the button opens, "file" for the file chooser
    } cases[] = {
        {"btnNo", [] { return TfrmConfirmation::Confirm("Remove the account?"); }, nullptr},
        {"btnButton3",
         [] { return TfrmWarning::ShowWarning("Still used", "Disable", "Cancel") != 1; }, nullptr},
        {"btnCancel",
         [] {
             QString name;
             return TfrmStringRequest::RequestString("Name:", name);
         },
         nullptr},
        {"btnCancel",
         [] {
             QString value;
             return TfrmInputBox::InputBox("Balance", "Balance:", "12.00", value);
         },
         nullptr},
        {"btnCancel", Kept<TfrmIconSelect>([](auto& d) { d.Setup(QVImages::SourceIcons(), 1); }),
         nullptr},
        {"btnCancel",
         Kept<TfrmBudgetProps>([](auto& d) { d.Setup("Home", "", "/budgets/home.qn"); }), nullptr},
        {"btnCancel", Kept<TfrmProtection>([](auto& d) { d.LoadProtection(); }), nullptr},
        {"btnChangePassword", Kept<TfrmProtection>([](auto& d) {
             Env().Protection = 1;
             d.LoadProtection();
         }),
         "Change Password"},
        {"btnCancel",
         [&] {
             TfrmPasswordChange dialog;
             dialog.Setup(false);
             return exec(dialog);
         },
         nullptr},
        {"btnCancel",
         [&] {
             TfrmPasswordRequest dialog;
             return exec(dialog);
         },
         nullptr},
        {"btnCancel", Kept<TfrmSettings>([](auto& d) { d.LoadFromSettings(Env().Settings()); }),
         nullptr},
        {"btnCancelNew", runStartup(true, true, true), nullptr},
        {"btnBrowseNew", runStartup(true, true, true), "file"},
        {"btnCancelOpen", runStartup(false, true, true), nullptr},
        {"btnBrowseOpen", runStartup(false, true, true), "file"},
        {"btnCancelRecent", runStartup(false, false, true), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        DialogsRun.clear();
        FileAnswers = {"/picked/budget.qn"};
        QString dialogTitle;
        bool reached = false;
        DialogActions = {[&](QDialog& d) {
            dialogTitle = d.windowTitle();
            reached = TabTo(d, c.button);
            if (reached) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            }
        }};
        EXPECT_FALSE(c.run()) << dialogTitle.toStdString();
        EXPECT_TRUE(reached) << "Tab never reached the button";
        // The button itself answered.
        if (c.asks == nullptr) {
            EXPECT_EQ(DialogsRun.size(), 1u);
        } else if (std::string(c.asks) == "file") {
            EXPECT_TRUE(FileAnswers.empty()) << "no file chooser";
        } else {
            EXPECT_NE(std::find(DialogsRun.begin(), DialogsRun.end(), c.asks), DialogsRun.end());
        }
    }
}

// A kept dialog closed with a click on No or Cancel opens the next time with the focus where a
// dialog made anew has it, so Return there means what it means the first time.
TEST_F(KeysTest, KeptDialogsForgetTheButtonClickedLastTime) {
    ExpectFocusForgotten<TfrmConfirmation>("btnNo", [](auto&) {});
    ExpectFocusForgotten<TfrmWarning>("btnButton3",
                                      [](auto& d) { d.Setup("Still used", "Disable", "Cancel"); });
    ExpectFocusForgotten<TfrmIconSelect>("btnCancel",
                                         [](auto& d) { d.Setup(QVImages::SourceIcons(), 1); });
    ExpectFocusForgotten<TfrmProtection>("btnCancel", [](auto& d) { d.LoadProtection(); });
    ExpectFocusForgotten<TfrmSettings>("btnCancel",
                                       [](auto& d) { d.LoadFromSettings(Env().Settings()); });
    ExpectFocusForgotten<TfrmStartup>(
        "btnCancelRecent", [](auto& d) { d.Setup(false, false, true, nullptr, nullptr, true); });
}

} // namespace
