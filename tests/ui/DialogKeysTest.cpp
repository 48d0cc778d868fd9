// Every dialog answered from the keyboard: Return on a focused Cancel, No or Browse does what
// that button does, never what OK or Yes does; a kept dialog opens with the focus where a new
// one would, whatever the user clicked last time; Tab enters a choice of levels at the checked one.
#include <cstdint>
#include <functional>
#include <set>
#include <tuple>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "DialogForms.h"
#include "UiTestSupport.h"
#include "ui/QVImages.h"
#include "ui/dialogs/AboutForm.h"
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
#include "ui/dialogs/TrayPopupForm.h"
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

// Return on a focused button does what a click on it does: Cancel, No or Browse is never an
// acceptance. Every button of every dialog form the build finds is pressed both ways, the
// quick-entry dialog in each of its modes.
TEST_F(KeysTest, ReturnOnAFocusedButtonDoesWhatItsClickDoes) {
    Env().NewBudget(Home.File("home.qn"), u"Home", true);
    const auto runStartup = [](bool showNew, bool showOpen, bool showRecent) {
        return [=] {
            TfrmStartup& dialog = TfrmStartup::Instance();
            const std::vector<std::u16string> titles{u"Home"}, paths{u"/budgets/home.qn"};
            dialog.Setup(showNew, showOpen, showRecent, &titles, &paths, true);
            return Prompter::Exec(dialog) == QDialog::Accepted;
        };
    };
    const auto quickEntry = [](TTrayEntryMode mode) {
        return Kept<TfrmTrayPopup>([mode](auto& d) { d.SetMode(mode); });
    };
    const auto exec = [](QDialog& dialog) { return Prompter::Exec(dialog) == QDialog::Accepted; };
    // Each dialog run as its caller runs it: true when confirmed.
    const std::function<bool()> runs[] = {
        [] { return TfrmConfirmation::Confirm("Remove the account?"); },
        [] { return TfrmWarning::ShowWarning("Still used", "Disable", "Cancel") != 1; },
        [] {
            QString name;
            return TfrmStringRequest::RequestString("Name:", name);
        },
        [] {
            QString value;
            return TfrmInputBox::InputBox("Balance", "Balance:", "12.00", value);
        },
        Kept<TfrmIconSelect>([](auto& d) { d.Setup(QVImages::SourceIcons(), 1); }),
        Kept<TfrmBudgetProps>([](auto& d) { d.Setup("Home", "", "/budgets/home.qn"); }),
        Kept<TfrmProtection>([](auto& d) { d.LoadProtection(); }),
        Kept<TfrmProtection>([](auto& d) {
            Env().Protection = 1;
            d.LoadProtection();
        }),
        [&] {
            TfrmPasswordChange dialog;
            dialog.Setup(false);
            return exec(dialog);
        },
        [&] {
            TfrmPasswordRequest dialog;
            return exec(dialog);
        },
        Kept<TfrmSettings>([](auto& d) { d.LoadFromSettings(Env().Settings()); }),
        Kept<TfrmAbout>([](auto&) {}),
        runStartup(true, true, true),
        runStartup(false, true, true),
        runStartup(false, false, true),
        quickEntry(TTrayEntryMode::Income),
        quickEntry(TTrayEntryMode::Expense),
        quickEntry(TTrayEntryMode::Transfer),
        quickEntry(TTrayEntryMode::Debt),
        quickEntry(TTrayEntryMode::Loan),
    };
    // What one run came to, the questions it asked included.
    const auto outcome = [&](const std::function<bool()>& run, const DialogAction& answer) {
        DialogsRun.clear();
        Messages.clear();
        FileAnswers = {"/picked/budget.qn"};
        DialogActions = {answer};
        const bool accepted = run();
        return std::tuple(accepted, DialogsRun, TakeMessages(), FileAnswers.size());
    };
    std::set<std::string> formsRun;
    for (const auto& run : runs) {
        QStringList buttons;
        QStringList refusals; // the buttons that answer No or Cancel
        QString title;
        outcome(run, [&](QDialog& d) {
            formsRun.insert(d.objectName().toStdString());
            title = d.windowTitle();
            for (const QPushButton* button : d.findChildren<QPushButton*>()) {
                if (button->isVisible() && button->isEnabled()) {
                    buttons << button->objectName();
                    if (button->text() == "Cancel" || button->text() == "No") {
                        refusals << button->objectName();
                    }
                }
            }
        });
        SCOPED_TRACE(title.toStdString());
        EXPECT_FALSE(buttons.isEmpty());
        for (const QString& button : buttons) {
            SCOPED_TRACE(button.toStdString());
            const QByteArray name = button.toLatin1();
            bool reached = false;
            // The focus goes the same way both times: what it passes on the way (a list that
            // picks the row it lands on) counts alike.
            const auto byClick = outcome(run, [&](QDialog& d) {
                TabTo(d, name.constData());
                ClickOn(d, name.constData());
            });
            const auto byReturn = outcome(run, [&](QDialog& d) {
                reached = TabTo(d, name.constData());
                if (reached) {
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                }
            });
            EXPECT_TRUE(reached) << "Tab never reached the button";
            EXPECT_FALSE(refusals.contains(button) && std::get<0>(byReturn)) << "accepted";
            EXPECT_EQ(std::get<0>(byReturn), std::get<0>(byClick)) << "accepted";
            EXPECT_EQ(std::get<1>(byReturn), std::get<1>(byClick)) << "dialogs run";
            EXPECT_EQ(std::get<2>(byReturn), std::get<2>(byClick)) << "messages";
            EXPECT_EQ(std::get<3>(byReturn), std::get<3>(byClick)) << "file choosers";
        }
    }
    std::set<std::string> forms;
    for (const TDialogForm& form : DialogForms()) {
        forms.insert(form.name);
    }
    EXPECT_EQ(formsRun, forms) << "every dialog form is run above";
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

// Tab enters the protection levels at the checked one, so a Space there keeps the protection; the
// arrows move between the levels, checking each, and Tab comes back to the one they left checked.
TEST_F(KeysTest, TabEntersTheProtectionLevelsAtTheCheckedOne) {
    const QStringList levels{"rbNone", "rbNormal", "rbStrong"};
    const struct {
        int level;
        Qt::Key arrow;
        int moved; // the level the arrow goes to
    } cases[] = {
        {2, Qt::Key_Up, 1}, {0, Qt::Key_Down, 1}, {1, Qt::Key_Down, 2}, {1, Qt::Key_Up, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level << ", arrow to " << c.moved);
        Env().Protection = static_cast<std::uint8_t>(c.level);
        TfrmProtection& dialog = TfrmProtection::Instance();
        dialog.LoadProtection();
        QStringList focus;
        DialogActions = {[&](QDialog& d) {
            focus << FocusIn(d);
            const auto tabIntoLevels = [&] {
                ASSERT_TRUE(TabTo(d, "btnCancel"));
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                focus << FocusIn(d);
            };
            tabIntoLevels();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
            QTest::keyClick(QApplication::focusWidget(), c.arrow);
            focus << FocusIn(d);
            tabIntoLevels();
        }};
        Prompter::Exec(dialog);
        const QStringList expected{levels[c.level], levels[c.level], levels[c.moved],
                                   levels[c.moved]};
        EXPECT_EQ(focus.join(' ').toStdString(), expected.join(' ').toStdString());
        EXPECT_EQ(int(dialog.ProtectionLevel()), c.moved)
            << "the level the arrow moved to is checked";
    }
}

} // namespace
