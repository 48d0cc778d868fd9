// The protection, password and small dialogs driven as a user would, answered through the
// Prompter hooks.
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/QVImages.h"
#include "ui/dialogs/IconSelectForm.h"
#include "ui/dialogs/InputBoxForm.h"
#include "ui/dialogs/PasswordChangeForm.h"
#include "ui/dialogs/PasswordRequestForm.h"
#include "ui/dialogs/ProtectionForm.h"
#include "ui/dialogs/QVConfirmationForm.h"
#include "ui/dialogs/QVStringRequestForm.h"
#include "ui/dialogs/WarningForm.h"

namespace {

using Action = std::function<void(QDialog&)>;

void Click(QDialog& d, const char* button) {
    QTest::mouseClick(Child<QPushButton>(d, button), Qt::LeftButton);
}

void Type(QDialog& d, const char* edit, const QString& text) {
    auto* line = Child<QLineEdit>(d, edit);
    line->clear();
    QTest::keyClicks(line, text);
}

// Fills in the password dialog and clicks OK.
Action EnterPassword(const QString& current, const QString& password) {
    return [=](QDialog& d) {
        if (!current.isEmpty()) {
            Type(d, "editCurrPwd", current);
        }
        Type(d, "editNewPwd", password);
        Type(d, "editNewPwdConf", password);
        Click(d, "btnOK");
    };
}

const QString NoLongerProtected = "Your budget will not be protected anymore. Are you sure?";
const QString NeedsPassword = "Your budget is currently stored in unencrypted form. You have to "
                              "provide a new password to be used for budget encryption.";

using DialogsTest = UiTest;

TEST_F(DialogsTest, ProtectionOKAsksWhatTheLevelNeeds) {
    struct Case {
        const char* name;
        std::uint8_t level; // the budget's, with a password "old" when not 0
        const char* choose;
        std::deque<QMessageBox::StandardButton> answers;
        std::optional<Action> passwordDialog;
        std::vector<QString> messages;
        bool accepted;
        const char16_t* passwordAfter; // null: no key
    };
    const Case cases[] = {
        {"none stays none", 0, "rbNone", {}, {}, {}, true, nullptr},
        {"none on protected, No",
         1,
         "rbNone",
         {QMessageBox::No},
         {},
         {NoLongerProtected},
         false,
         u"old"},
        {"none on protected, Yes",
         2,
         "rbNone",
         {QMessageBox::Yes},
         {},
         {NoLongerProtected},
         true,
         u"old"},
        {"strong with a key", 1, "rbStrong", {}, {}, {}, true, u"old"},
        {"normal needs a password",
         0,
         "rbNormal",
         {},
         EnterPassword({}, "new"),
         {NeedsPassword},
         true,
         u"new"},
        {"password cancelled",
         0,
         "rbNormal",
         {},
         Action([](QDialog&) {}),
         {NeedsPassword},
         false,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Env().PasswordKey.clear();
        Env().Protection = c.level;
        if (c.level != 0) {
            Env().SetPassword(u"old");
        }
        Messages.clear();
        MessageAnswers = c.answers;
        QString currentPwd;
        bool currentEnabled = true;
        TfrmProtection dialog;
        dialog.LoadProtection();
        DialogActions.push_back([&](QDialog& d) {
            Child<QRadioButton>(d, c.choose)->click();
            Click(d, "btnOK");
            EXPECT_TRUE(Child<QRadioButton>(d, c.choose)->isChecked());
        });
        if (c.passwordDialog) {
            DialogActions.push_back([&](QDialog& d) {
                currentPwd = Child<QLineEdit>(d, "editCurrPwd")->text();
                currentEnabled = Child<QLineEdit>(d, "editCurrPwd")->isEnabled();
                (*c.passwordDialog)(d);
            });
        }
        const int result = Prompter::Exec(dialog);
        EXPECT_EQ(result, c.accepted ? QDialog::Accepted : QDialog::Rejected);
        std::vector<QString> texts;
        for (const auto& m : Messages) {
            texts.push_back(m.text);
        }
        EXPECT_EQ(texts, c.messages);
        if (c.passwordDialog) {
            EXPECT_EQ(currentPwd, "N/A");
            EXPECT_FALSE(currentEnabled);
        }
        if (c.passwordAfter == nullptr) {
            EXPECT_TRUE(Env().PasswordKey.empty());
        } else {
            EXPECT_TRUE(Env().CheckPassword(c.passwordAfter));
        }
        if (c.accepted) {
            EXPECT_EQ(dialog.ProtectionLevel(), c.choose == std::string("rbNone")     ? 0
                                                : c.choose == std::string("rbNormal") ? 1
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
        Click(d, "btnChangePassword");
        Click(d, "btnChangePassword");
        Click(d, "btnCancel");
    });
    DialogActions.push_back([&](QDialog& d) {
        EnterPassword("bad", "new")(d);
        wrongStayedOpen = d.isVisible();
    });
    DialogActions.push_back(EnterPassword("old", "new"));
    EXPECT_EQ(Prompter::Exec(dialog), QDialog::Rejected);
    EXPECT_TRUE(wrongStayedOpen);
    ASSERT_EQ(Messages.size(), 1U);
    EXPECT_EQ(Messages[0].kind, Prompter::Kind::Error);
    EXPECT_EQ(Messages[0].text, "Invalid current password value");
    EXPECT_TRUE(Env().CheckPassword(u"new"));
}

TEST_F(DialogsTest, ChangePasswordButtonNeedsALevel) {
    TfrmProtection dialog;
    dialog.LoadProtection();
    auto* button = Child<QPushButton>(dialog, "btnChangePassword");
    EXPECT_FALSE(button->isEnabled());
    Child<QRadioButton>(dialog, "rbNormal")->click();
    EXPECT_TRUE(button->isEnabled());
    Child<QRadioButton>(dialog, "rbNone")->click();
    EXPECT_FALSE(button->isEnabled());
}

TEST_F(DialogsTest, PasswordChangeOKNeedsTwoEqualPasswords) {
    TfrmPasswordChange dialog;
    dialog.Setup(false);
    struct Case {
        QString password, confirmation;
        bool enabled;
    };
    for (const Case& c : {Case{"", "", false}, Case{"a", "", false}, Case{"abc", "abd", false},
                          Case{"abc", "ABC", false}, Case{"abc", "abc", true}}) {
        Type(dialog, "editNewPwd", c.password);
        Type(dialog, "editNewPwdConf", c.confirmation);
        EXPECT_EQ(Child<QPushButton>(dialog, "btnOK")->isEnabled(), c.enabled)
            << c.password.toStdString() << "/" << c.confirmation.toStdString();
    }
    EXPECT_EQ(Child<QLineEdit>(dialog, "editNewPwd")->maxLength(), 1024);
}

TEST_F(DialogsTest, PasswordRequestGivesTheTypedTextOrNothing) {
    Env().SetPassword(u"secret");
    InstallPasswordRequest(nullptr);
    struct Case {
        const char* typed;
        const char* button;
        std::optional<bool> right; // nothing: no answer at all
    };
    for (const Case& c : {Case{"secret", "btnOK", true}, Case{"wrong", "btnOK", false},
                          Case{"secret", "btnCancel", std::nullopt}}) {
        QString before;
        DialogActions.push_back([&](QDialog& d) {
            before = Child<QLineEdit>(d, "editPass")->text();
            QTest::keyClicks(Child<QLineEdit>(d, "editPass"), c.typed);
            Click(d, c.button);
        });
        const std::optional<std::u16string> answer = Env().PasswordRequest();
        EXPECT_EQ(before, "") << "a new dialog for each request";
        ASSERT_EQ(answer.has_value(), c.right.has_value()) << c.typed << " " << c.button;
        if (answer) {
            EXPECT_EQ(Env().CheckPassword(*answer), *c.right);
        }
    }
    EXPECT_EQ(DialogsRun, std::vector<QString>(3, "Password request"));
}

TEST_F(DialogsTest, WarningAnswersTheVisibleButtonsPosition) {
    struct Case {
        const char* name;
        Action action;
        int index;
    };
    const Case cases[] = {
        {"first", [](QDialog& d) { Click(d, "btnButton2"); }, 0},
        {"second", [](QDialog& d) { Click(d, "btnButton3"); }, 1},
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

TEST_F(DialogsTest, IconSelectGivesTheChosenImageIndex) {
    struct Case {
        const char* name;
        int count, current;
        int click; // -1: no click
        Qt::KeyboardModifiers modifiers;
        const char* button;
        bool okEnabled; // when the button is clicked
        int result, selected;
    };
    // Without a selection OK stays off, so the dialog can only be left without a choice.
    const Case cases[] = {
        {"kept", 3, 1, -1, {}, "btnOK", true, QDialog::Accepted, 1},
        {"clicked", 3, -1, 2, {}, "btnOK", true, QDialog::Accepted, 2},
        {"deselected", 3, 1, 1, Qt::ControlModifier, "btnOK", false, QDialog::Rejected, -1},
        {"beyond", 3, 5, -1, {}, "btnOK", false, QDialog::Rejected, -1},
        {"empty", 0, 0, -1, {}, "btnOK", false, QDialog::Rejected, -1},
        {"cancel", 3, 1, -1, {}, "btnCancel", true, QDialog::Rejected, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TImageList images(16);
        for (int i = 0; i < c.count; ++i) {
            QPixmap square(16, 16);
            square.fill(QColor::fromHsv(i * 60, 200, 200));
            images.Add(QIcon(square));
        }
        TfrmIconSelect& dialog = TfrmIconSelect::Instance();
        dialog.Setup(images, c.current);
        DialogActions.push_back([&](QDialog& d) {
            auto* view = Child<QListView>(d, "lvIcons");
            EXPECT_EQ(view->model()->rowCount(), c.count);
            if (c.click >= 0) {
                const QRect cell = view->visualRect(view->model()->index(c.click, 0));
                QTest::mouseClick(view->viewport(), Qt::LeftButton, c.modifiers, cell.center());
            }
            EXPECT_EQ(Child<QPushButton>(d, "btnOK")->isEnabled(), c.okEnabled);
            Click(d, c.button);
        });
        EXPECT_EQ(Prompter::Exec(dialog), c.result);
        if (c.result == QDialog::Accepted) {
            EXPECT_EQ(dialog.SelectedIndex(), c.selected);
        }
    }
}

TEST_F(DialogsTest, TextQuestionsGiveTheTextAfterOKOnly) {
    struct Case {
        const char* name;
        std::function<bool(QString&)> ask;
        const char* edit;
        QString start; // what the edit shows at first
        QString typed; // null: leave the text as shown
        const char* button;
        bool accepted;
        QString value;
    };
    auto request = [](QString& value) { return TfrmStringRequest::RequestString("Name:", value); };
    auto input = [](QString& value) {
        return TfrmInputBox::InputBox("Balance Adjustment", "Balance:", "12.50", value);
    };
    const Case cases[] = {
        {"request typed", request, "editString", "", "Cash", "btnOK", true, "Cash"},
        {"request starts empty again", request, "editString", "", {}, "btnOK", true, ""},
        {"request cancelled", request, "editString", "", "Cash", "btnCancel", false, ""},
        {"input default", input, "editInput", "12.50", {}, "btnOK", true, "12.50"},
        {"input typed", input, "editInput", "12.50", "7", "btnOK", true, "7"},
        {"input cancelled", input, "editInput", "12.50", {}, "btnCancel", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString shown;
        DialogActions.push_back([&](QDialog& d) {
            shown = Child<QLineEdit>(d, c.edit)->text();
            if (!c.typed.isNull()) {
                Type(d, c.edit, c.typed);
            }
            Click(d, c.button);
        });
        QString value = "stale";
        EXPECT_EQ(c.ask(value), c.accepted);
        EXPECT_EQ(shown, c.start);
        EXPECT_EQ(value, c.value);
    }
    EXPECT_EQ(DialogsRun[3], "Balance Adjustment");
}

TEST_F(DialogsTest, ConfirmationIsYesOnly) {
    for (const auto& [action, yes] :
         std::vector<std::pair<Action, bool>>{{[](QDialog& d) { Click(d, "btnYes"); }, true},
                                              {[](QDialog& d) { Click(d, "btnNo"); }, false},
                                              {[](QDialog& d) { d.close(); }, false}}) {
        DialogActions.push_back(action);
        EXPECT_EQ(TfrmConfirmation::Confirm("Remove?"), yes);
    }
}

} // namespace
