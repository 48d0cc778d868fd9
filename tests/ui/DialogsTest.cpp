// The protection, password and warning dialogs driven as a user would, answered through the
// Prompter hooks. The small questions (names, amounts, icons, yes or no) are met through the
// pages that ask them.
#include <optional>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/dialogs/ProtectionForm.h"
#include "ui/dialogs/WarningForm.h"

namespace {

// Fills in the password dialog and clicks OK; OK waits for two equal passwords.
DialogAction EnterPassword(const QString& current, const QString& password) {
    return [=](QDialog& d) {
        if (!current.isEmpty()) {
            TypeText(d, "editCurrPwd", current);
        }
        auto* ok = Child<QPushButton>(d, "btnOK");
        EXPECT_FALSE(ok->isEnabled());
        TypeText(d, "editNewPwd", password);
        for (const QString& other : {QString(), password + "x", password.toUpper()}) {
            TypeText(d, "editNewPwdConf", other);
            EXPECT_FALSE(ok->isEnabled()) << other.toStdString();
        }
        TypeText(d, "editNewPwdConf", password);
        EXPECT_TRUE(ok->isEnabled());
        ClickOn(d, "btnOK");
    };
}

const QString NoLongerProtected = "Your budget will not be protected anymore. Are you sure?";
const QString NeedsPassword = "Your budget is currently stored in unencrypted form. You have to "
                              "provide a new password to be used for budget encryption.";

using DialogsTest = UiTest;

TEST_F(DialogsTest, ProtectionOKAsksWhatTheLevelNeeds) {
    const auto none = [](QDialog&) {};
    struct Case {
        const char* name;
        std::uint8_t level; // the budget's, with a password "old" when not 0
        const char* choose;
        std::optional<QMessageBox::StandardButton> answer;
        DialogAction passwordDialog; // null: not expected
        QString message;
        bool accepted;
        const char16_t* passwordAfter; // null: no key
    };
    const Case cases[] = {
        {"none stays none", 0, "rbNone", {}, {}, {}, true, nullptr},
        {"none on protected, No",
         1,
         "rbNone",
         QMessageBox::No,
         {},
         NoLongerProtected,
         false,
         u"old"},
        {"none on protected, Yes",
         2,
         "rbNone",
         QMessageBox::Yes,
         {},
         NoLongerProtected,
         true,
         u"old"},
        {"strong with a key", 1, "rbStrong", {}, {}, {}, true, u"old"},
        {"normal needs a password",
         0,
         "rbNormal",
         {},
         EnterPassword({}, "new"),
         NeedsPassword,
         true,
         u"new"},
        {"password cancelled", 0, "rbNormal", {}, none, NeedsPassword, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Env().PasswordKey.clear();
        Env().Protection = c.level;
        if (c.level != 0) {
            Env().SetPassword(u"old");
        }
        Messages.clear();
        MessageAnswers.clear();
        if (c.answer) {
            MessageAnswers.push_back(*c.answer);
        }
        QString currentPwd;
        TfrmProtection dialog;
        dialog.LoadProtection();
        DialogActions.push_back([&](QDialog& d) {
            Child<QRadioButton>(d, c.choose)->click();
            ClickOn(d, "btnOK");
        });
        if (c.passwordDialog) {
            DialogActions.push_back([&](QDialog& d) {
                currentPwd = Child<QLineEdit>(d, "editCurrPwd")->text();
                c.passwordDialog(d);
            });
        }
        EXPECT_EQ(Prompter::Exec(dialog), c.accepted ? QDialog::Accepted : QDialog::Rejected);
        ASSERT_EQ(Messages.size(), c.message.isNull() ? 0u : 1u);
        if (!c.message.isNull()) {
            EXPECT_EQ(Messages[0].text, c.message);
        }
        if (c.passwordDialog) {
            EXPECT_EQ(currentPwd, "N/A") << "no current password to ask for";
        }
        if (c.passwordAfter == nullptr) {
            EXPECT_TRUE(Env().PasswordKey.empty());
        } else {
            EXPECT_TRUE(Env().CheckPassword(c.passwordAfter));
        }
        if (c.accepted) {
            const std::string choice = c.choose;
            EXPECT_EQ(dialog.ProtectionLevel(), choice == "rbNone"     ? 0
                                                : choice == "rbNormal" ? 1
                                                                       : 2);
        }
    }
}

TEST_F(DialogsTest, ChangePasswordChecksTheCurrentOneAndSticksAfterCancel) {
    Env().Protection = 1;
    Env().SetPassword(u"old");
    TfrmProtection dialog;
    dialog.LoadProtection();
    bool wrongStayedOpen = false;
    DialogActions.push_back([](QDialog& d) {
        ClickOn(d, "btnChangePassword");
        ClickOn(d, "btnChangePassword");
        ClickOn(d, "btnCancel");
    });
    DialogActions.push_back([&](QDialog& d) {
        EnterPassword("bad", "new")(d);
        wrongStayedOpen = d.isVisible();
    });
    DialogActions.push_back(EnterPassword("old", "new"));
    EXPECT_EQ(Prompter::Exec(dialog), QDialog::Rejected);
    EXPECT_TRUE(wrongStayedOpen);
    ASSERT_EQ(Messages.size(), 1U);
    EXPECT_EQ(Messages[0].text, "Invalid current password value");
    EXPECT_TRUE(Env().CheckPassword(u"new"));

    // Without a level there is no password to change.
    Env().Protection = 0;
    dialog.LoadProtection();
    auto* button = Child<QPushButton>(dialog, "btnChangePassword");
    EXPECT_FALSE(button->isEnabled());
    Child<QRadioButton>(dialog, "rbNormal")->click();
    EXPECT_TRUE(button->isEnabled());
}

TEST_F(DialogsTest, WarningAnswersTheVisibleButtonsPosition) {
    struct Case {
        const char* name;
        DialogAction action;
        int index;
    };
    const Case cases[] = {
        {"first", Press("btnButton2"), 0},
        {"second", Press("btnButton3"), 1},
        {"Enter", [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Return); }, 0},
        {"Escape", [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, 1},
        {"close box", [](QDialog& d) { d.close(); }, -1},
    };
    for (const Case& c : cases) {
        QStringList shown;
        DialogActions.push_back([&](QDialog& d) {
            shown << Child<QLabel>(d, "lblMessage")->text();
            for (const char* name : {"btnButton1", "btnButton2", "btnButton3"}) {
                auto* button = Child<QPushButton>(d, name);
                shown << (button->isVisible() ? button->text() : QString("-"));
            }
            c.action(d);
        });
        EXPECT_EQ(TfrmWarning::ShowWarning("Still used", "Disable", "Cancel"), c.index) << c.name;
        EXPECT_EQ(shown, (QStringList{"Still used", "-", "Disable", "Cancel"}));
    }
}

} // namespace
