// The dialogs driven as a user would, answered through the Prompter hooks: protection and
// passwords, warnings, the settings and the start-up dialog. The small questions (names, amounts,
// icons, yes or no) are met through the pages that ask them, the settings' language list through
// the main window, which applies the choice at once.
#include <fstream>
#include <optional>
#include <string>

#include <QCheckBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>
#include <QTreeView>

#include "UiTestSupport.h"
#include "platform/FileSystem.h"
#include "ui/QVUIUtils.h"
#include "ui/dialogs/ProtectionForm.h"
#include "ui/dialogs/SettingsForm.h"
#include "ui/dialogs/StartupForm.h"
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
    const auto none = QMessageBox::NoButton;
    const struct {
        std::uint8_t level; // the budget's, with a password "old" when not 0
        const char* choose;
        QMessageBox::StandardButton answer;
        const char* password; // typed into the password dialog; "": cancelled; null: not asked
        QString message;
        bool accepted;
        const char16_t* passwordAfter; // null: no key
    } cases[] = {
        {0, "rbNone", none, nullptr, {}, true, nullptr},
        {1, "rbNone", QMessageBox::No, nullptr, NoLongerProtected, false, u"old"},
        {2, "rbNone", QMessageBox::Yes, nullptr, NoLongerProtected, true, u"old"},
        {1, "rbStrong", none, nullptr, {}, true, u"old"},
        {0, "rbNormal", none, "new", NeedsPassword, true, u"new"},
        {0, "rbNormal", none, "", NeedsPassword, false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.level) << c.choose << c.answer);
        Env().PasswordKey.clear();
        Env().Protection = c.level;
        if (c.level != 0) {
            Env().SetPassword(u"old");
        }
        MessageAnswers.clear();
        if (c.answer != none) {
            MessageAnswers.push_back(c.answer);
        }
        QString currentPwd = "not asked";
        TfrmProtection dialog;
        dialog.LoadProtection();
        DialogActions = {[&](QDialog& d) {
                             Child<QRadioButton>(d, c.choose)->click();
                             ClickOn(d, "btnOK");
                         },
                         [&](QDialog& d) {
                             currentPwd = Child<QLineEdit>(d, "editCurrPwd")->text();
                             if (*c.password) {
                                 EnterPassword({}, c.password)(d);
                             }
                         }};
        EXPECT_EQ(Prompter::Exec(dialog), c.accepted ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(TakeMessages(), c.message.isNull() ? QStringList() : QStringList{c.message});
        // No current password to ask for.
        EXPECT_EQ(currentPwd, c.password ? "N/A" : "not asked");
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
    const std::pair<DialogAction, int> cases[] = {
        {Press("btnButton2"), 0},
        {Press("btnButton3"), 1},
        {[](QDialog& d) { QTest::keyClick(&d, Qt::Key_Return); }, 0},
        {[](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, 1},
        {[](QDialog& d) { d.close(); }, -1},
    };
    for (const auto& [action, index] : cases) {
        QStringList shown;
        DialogActions = {[&](QDialog& d) {
            shown << Child<QLabel>(d, "lblMessage")->text();
            for (const char* name : {"btnButton1", "btnButton2", "btnButton3"}) {
                auto* button = Child<QPushButton>(d, name);
                shown << (button->isVisible() ? button->text() : QString("-"));
            }
            action(d);
        }};
        EXPECT_EQ(TfrmWarning::ShowWarning("Still used", "Disable", "Cancel"), index);
        EXPECT_EQ(shown, (QStringList{"Still used", "-", "Disable", "Cancel"}));
    }
}

class SettingsFormTest : public UiTest {
protected:
    // Loads `settings`, runs the dialog with `action` and saves into `settings` after OK.
    int Run(TQVSettings& settings, DialogAction action) {
        Dialog.LoadFromSettings(settings);
        DialogActions.push_back(std::move(action));
        const int result = Prompter::Exec(Dialog);
        if (result == QDialog::Accepted) {
            Dialog.SaveToSettings(settings);
        }
        return result;
    }

    TfrmSettings Dialog;
};

TEST_F(SettingsFormTest, EveryCheckBoxShowsAndStoresItsSetting) {
    const struct {
        const char* box;
        bool TQVSettings::*setting;
        bool inverted;
    } flags[] = {
        {"cbShowA2A", &TQVSettings::ShowA2A, false},
        {"cbHideEmptyMonths", &TQVSettings::ShowEmptyMonths, true},
        {"cbTrayIcon", &TQVSettings::UseTray, false},
        {"cbHideOnMinimize", &TQVSettings::HideOnMinimize, false},
        {"cbHideOnClose", &TQVSettings::HideOnClose, false},
        {"cbNotifications", &TQVSettings::Notifications, false},
        {"cbShowAdjustments", &TQVSettings::ShowBalanceAdjustments, false},
        {"cbAutoOpenLast", &TQVSettings::AutoOpenLast, false},
    };
    for (const bool value : {true, false}) {
        SCOPED_TRACE(value);
        TQVSettings settings;
        for (const auto& flag : flags) {
            settings.*flag.setting = value;
        }
        Run(settings, [&](QDialog& d) {
            for (const auto& flag : flags) {
                auto* box = Child<QCheckBox>(d, flag.box);
                EXPECT_EQ(box->isChecked(), value != flag.inverted) << flag.box;
                if (box->isVisible()) {
                    ClickOn(d, flag.box);
                }
            }
            ClickOn(d, "btnOK");
        });
        for (const auto& flag : flags) {
            const bool hidden = std::string(flag.box) == "cbNotifications";
            EXPECT_EQ(settings.*flag.setting, hidden ? value : !value) << flag.box;
        }
    }
    // Only a click on the tray box warns, never its setting from the settings.
    EXPECT_EQ(TakeMessages(),
              QStringList(2, "Changing this feature requires restart of the application"));
}

TEST_F(SettingsFormTest, TrayDoubleClickActionMapsToThreeEntries) {
    struct Case {
        std::uint8_t stored;
        int shown;
        int chosen; // -1: nothing selected
        std::uint8_t saved;
    };
    const Case cases[] = {{0, 0, 0, 0}, {1, 1, 1, 1}, {5, 2, 2, 2}, {2, 2, 0, 0}, {1, 1, -1, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.stored) << " -> " << c.chosen);
        TQVSettings settings;
        settings.TrayDblClick = c.stored;
        Run(settings, [&](QDialog& d) {
            auto* list = Child<QComboBox>(d, "cbTrayDblClickAction");
            EXPECT_EQ(list->currentIndex(), c.shown);
            list->setCurrentIndex(c.chosen);
            ClickOn(d, "btnOK");
        });
        EXPECT_EQ(settings.TrayDblClick, c.saved);
    }
}

TEST_F(SettingsFormTest, AutostartFollowsTheBoxOnEveryOK) {
    const std::string entry = Home.File("config/autostart/quillvane-autostart.desktop");
    TQVSettings settings;
    const auto run = [&](bool toggle, const char* button = "btnOK") {
        bool shown = false;
        Run(settings, [&](QDialog& d) {
            shown = Child<QCheckBox>(d, "cbRunOnSystemStartup")->isChecked();
            if (toggle) {
                ClickOn(d, "cbRunOnSystemStartup");
            }
            ClickOn(d, button);
        });
        return shown;
    };
    EXPECT_FALSE(run(true));
    EXPECT_TRUE(FileSystem::FileExists(entry));
    // Removed behind the program's back: the box shows it, and OK leaves it removed.
    Env().DisableAutorun();
    EXPECT_FALSE(run(false));
    EXPECT_FALSE(FileSystem::FileExists(entry));
    Env().EnableAutorun();
    EXPECT_TRUE(run(true));
    EXPECT_FALSE(FileSystem::FileExists(entry));
    // Cancel writes nothing.
    EXPECT_FALSE(run(true, "btnCancel"));
    EXPECT_FALSE(FileSystem::FileExists(entry));
}

class StartupFormTest : public UiTest {
protected:
    // Sets the dialog up, runs it with `action` and returns the dialog's result.
    int Run(const DialogAction& action, bool showNew = true) {
        Dialog.Setup(showNew, true, true, &Titles, &Paths, true);
        DialogActions.push_back(action);
        return Prompter::Exec(Dialog);
    }
    static void ShowTab(QDialog& d, const char* child) {
        Child<QTabWidget>(d, "PageControl")
            ->setCurrentWidget(Child<QWidget>(d, child)->parentWidget());
    }

    TfrmStartup Dialog;
    std::vector<std::u16string> Titles{u"Home", u"Trip"};
    std::vector<std::u16string> Paths{u"/budgets/home.qn", u"/budgets/trip.qn"};
};

TEST_F(StartupFormTest, LocationFollowsTheTitleUntilBrowseAndAfter) {
    QDir(Home.Path().c_str()).mkdir("Documents");
    FileAnswers.push_back("/elsewhere/picked.qn");
    QStringList seen;
    Run([&](QDialog& d) {
        EXPECT_EQ(Child<QTabWidget>(d, "PageControl")->currentWidget()->objectName(), "tabNew");
        auto* location = Child<QLineEdit>(d, "editLocation");
        seen << Child<QLineEdit>(d, "editTitle")->text() << location->text();
        TypeText(d, "editTitle", "Home");
        seen << location->text();
        TypeText(d, "editTitle", "");
        seen << location->text();
        ClickOn(d, "btnBrowseNew");
        seen << location->text();
        TypeText(d, "editTitle", "X");
        seen << location->text();
    });
    const QString docs = Home.Path().c_str() + QString("/Documents");
    EXPECT_EQ(seen, QStringList({"Untitled", docs + "/Untitled.qn", docs + "/Home.qn",
                                 docs + "/.qn", "/elsewhere/picked.qn", docs + "/X.qn"}));
}

TEST_F(StartupFormTest, ProposedLocationFitsTheFileSystemCuttingWholeCharacters) {
    QDir(Home.Path().c_str()).mkdir("Documents");
    const QString docs = Home.Path().c_str() + QString("/Documents/");
    const QString cyrillic = QString::fromUtf16(u"Бюджет").repeated(40).left(200); // 400 bytes
    const QString accented = QString::fromUtf16(u"e\u0301").repeated(100);         // 3 bytes each
    const QString family = QString::fromUtf16(u"Семейный бюджет ").repeated(8);    // 240 bytes
    // The longest name takes 255 bytes: 252 of title and the extension.
    const struct {
        QString title;
        QString name;
    } cases[] = {
        {"Home", "Home"},
        {cyrillic, cyrillic.left(126)},
        {"a" + cyrillic, "a" + cyrillic.left(125)},
        {accented, accented.left(2 * 84)},
        {QString(252, u'x'), QString(252, u'x')},
        {QString(253, u'x'), QString(252, u'x')},
        // Blanks and dots where the cut falls do not stand before the extension; a title that
        // fits whole keeps them.
        {family + QString::fromUtf16(u"Семей бюджет"), family + QString::fromUtf16(u"Семей")},
        {QString(250, u'x') + ". .yyy", QString(250, u'x')},
        {QString(249, u'x') + "\u00a0\t.\u3000y", QString(249, u'x')},
        {QString(240, u'x') + " .", QString(240, u'x') + " ."},
        {QString(300, u' '), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title.size());
        QString location;
        Run([&](QDialog& d) {
            Child<QLineEdit>(d, "editTitle")->setText(c.title);
            location = Child<QLineEdit>(d, "editLocation")->text();
        });
        EXPECT_EQ(location.toStdString(), (docs + c.name + ".qn").toStdString());
    }
}

TEST_F(StartupFormTest, ButtonsShowTheirCaptionsAsTooltips) {
    for (QPushButton* button : Dialog.findChildren<QPushButton*>()) {
        EXPECT_EQ(button->toolTip().toStdString(), button->text().toStdString());
    }
}

TEST_F(StartupFormTest, BrowseAsksAboutReplacingOnlyOnce) {
    // The file chooser asks about a file that is there; OK does not ask again, but it does for a
    // location typed afterwards.
    std::ofstream(Home.File("old.qn")) << "x";
    std::ofstream(Home.File("other.qn")) << "x";
    const QString picked = QString::fromStdString(Home.File("old.qn"));
    const QString typed = QString::fromStdString(Home.File("other.qn"));
    for (const bool retype : {false, true}) {
        SCOPED_TRACE(retype);
        FileAnswers = {picked};
        MessageAnswers = {QMessageBox::Yes};
        const int result = Run([&](QDialog& d) {
            ClickOn(d, "btnBrowseNew");
            if (retype) {
                TypeText(d, "editLocation", typed);
            }
            ClickOn(d, "btnOKNew");
        });
        EXPECT_EQ(result, QDialog::Accepted);
        EXPECT_EQ(TakeMessages().size(), retype ? 1 : 0);
        EXPECT_EQ(Dialog.FileName(), (retype ? typed : picked).toStdString());
    }
}

TEST_F(StartupFormTest, NewBudgetRefusesAnEmptyLocationAndAsksBeforeReplacing) {
    std::ofstream(Home.File("old.qn")) << "x";
    const QString existing = QString::fromStdString(Home.File("old.qn"));
    const QString fresh = QString::fromStdString(Home.File("new.qn"));
    const QString question =
        "The file \"" + existing + "\" already exists. Replace it with a new, empty budget?";
    const struct {
        QString location;
        std::optional<QMessageBox::StandardButton> answer;
        QString message; // the one message expected, if any
        bool accepted;
    } cases[] = {
        {"", {}, "Please provide a location for the new budget", false},
        {existing, QMessageBox::No, question, false},
        {existing, QMessageBox::Yes, question, true},
        {fresh, {}, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location.toStdString());
        if (c.answer) {
            MessageAnswers.push_back(*c.answer);
        }
        bool stayedOpen = false;
        const int result = Run([&](QDialog& d) {
            TypeText(d, "editTitle", "Mine");
            Child<QLineEdit>(d, "editLocation")->setText(c.location);
            ClickOn(d, "btnOKNew");
            stayedOpen = d.isVisible();
        });
        EXPECT_EQ(stayedOpen, !c.accepted);
        EXPECT_EQ(result, c.accepted ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(TakeMessages(), c.message.isEmpty() ? QStringList() : QStringList{c.message});
        EXPECT_EQ(Dialog.ResultKind(),
                  c.accepted ? TStartupResult::NewBudget : TStartupResult::None);
        if (c.accepted) {
            EXPECT_EQ(Dialog.FileName(), c.location.toStdString());
            EXPECT_EQ(Dialog.BudgetTitle(), "Mine");
        }
    }
}

TEST_F(StartupFormTest, NewBudgetNeedsAFolderThatTakesAFile) {
    std::ofstream(Home.File("file")) << "x";
    const QString home = QString::fromStdString(Home.Path());
    const struct {
        QString location; // a relative one lies in the folder the dialog proposes
        QString refusal;  // the end of the message; empty when the budget is accepted
    } cases[] = {
        {"nowhere/x.qn", "/nowhere\": No such file or directory"},
        {home + "/file/x.qn", "/file\": Not a directory"},
        {home, "\" is a folder, not a budget file"},
        {"mine.qn", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location.toStdString());
        QString folder;
        const int result = Run([&](QDialog& d) {
            folder = QFileInfo(Child<QLineEdit>(d, "editLocation")->text()).absolutePath();
            Child<QLineEdit>(d, "editLocation")->setText(c.location);
            ClickOn(d, "btnOKNew");
        });
        const QStringList messages = TakeMessages();
        EXPECT_EQ(result, c.refusal.isEmpty() ? QDialog::Accepted : QDialog::Rejected);
        if (c.refusal.isEmpty()) {
            EXPECT_EQ(Dialog.FileName(), (folder + "/mine.qn").toStdString());
            EXPECT_EQ(QDir(folder).entryList({".quillvane*"}, QDir::Hidden | QDir::Files),
                      QStringList{});
            EXPECT_EQ(messages, QStringList{});
        } else {
            ASSERT_EQ(messages.size(), 1);
            EXPECT_TRUE(messages[0].endsWith(c.refusal)) << messages[0].toStdString();
        }
    }
}

TEST_F(StartupFormTest, OpenExistingRefusesAMissingFileAndAFolder) {
    const QString missing = QString::fromStdString(Home.File("missing.qn"));
    const QString folder = QString::fromStdString(Home.Path());
    for (const QString& path : {missing, folder}) {
        const int result = Run(
            [&](QDialog& d) {
                EXPECT_EQ(Child<QTabWidget>(d, "PageControl")->currentWidget()->objectName(),
                          "tabOpenExisting");
                Child<QLineEdit>(d, "editOpenLocation")->setText(path);
                ClickOn(d, "btnOKOpen");
            },
            false);
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(TakeMessages(),
                  QStringList{path == folder ? "\"" + path + "\" is a folder, not a budget file"
                                             : "The specified file (\"" + path + "\") not found"});
    }
}

TEST_F(StartupFormTest, OpenRecentTakesTheSelectedRowOnly) {
    Titles.push_back(u"No path");
    for (const int row : {-1, 1, 2}) { // -1 selects nothing
        SCOPED_TRACE(row);
        const int result = Run([&](QDialog& d) {
            ShowTab(d, "tvRecentItems");
            auto* tree = Child<QTreeView>(d, "tvRecentItems");
            EXPECT_EQ(tree->model()->rowCount(), 3);
            if (row >= 0) {
                const QRect cell = tree->visualRect(tree->model()->index(row, 0));
                QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, cell.center());
            }
            ClickOn(d, "btnOKRecent");
        });
        EXPECT_EQ(result, row == 1 ? QDialog::Accepted : QDialog::Rejected);
        if (row == 1) {
            EXPECT_EQ(Dialog.ResultKind(), TStartupResult::OpenRecent);
            EXPECT_EQ(Dialog.FileName(), "/budgets/trip.qn");
        }
    }
}

// From the keyboard alone: the tab's list takes the focus, and the row a key moves to is chosen.
TEST_F(StartupFormTest, OpenRecentTakesTheRowTheKeysMoveTo) {
    for (const auto& [key, path] : {std::pair{Qt::Key_Home, "/budgets/home.qn"},
                                    std::pair{Qt::Key_End, "/budgets/trip.qn"}}) {
        const int result = Run(
            [key = key](QDialog& d) {
                ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
                QWidget* focused = QApplication::focusWidget();
                ASSERT_NE(focused, nullptr);
                EXPECT_EQ(focused->objectName(), "tvRecentItems");
                QTest::keyClick(focused, key);
                QTest::keyClick(focused, Qt::Key_Return);
            },
            false);
        EXPECT_EQ(result, QDialog::Accepted);
        EXPECT_EQ(Dialog.FileName(), path);
    }
}

// A recent budget's long title and location show whole as their tooltips, wrapped within the
// screen.
TEST_F(StartupFormTest, RecentRowsShowLongTextsWholeAsTooltips) {
    const QString title = QString::fromUtf16(u"Семейныйбюджет").repeated(15).left(200);
    Titles[0] = QVUIUtils::FromQ(title);
    Paths[0] = QVUIUtils::FromQ("/budgets/" + title + ".qn");
    Run([&](QDialog& d) {
        ShowTab(d, "tvRecentItems");
        auto* tree = Child<QTreeView>(d, "tvRecentItems");
        for (const int column : {0, 1}) {
            SCOPED_TRACE(column);
            const QModelIndex cell = tree->model()->index(0, column);
            const QWidget* tip =
                ToolTipWindowAt(*tree->viewport(), tree->visualRect(cell).center());
            ASSERT_NE(tip, nullptr);
            EXPECT_LE(tip->width(), QGuiApplication::primaryScreen()->availableGeometry().width());
            EXPECT_EQ(ToolTipText(QToolTip::text()), cell.data().toString());
        }
        ClickOn(d, "btnCancelRecent");
    });
}

TEST_F(StartupFormTest, CancelChoosesNothingAndSetupResetsTheDialog) {
    // A first use that typed everywhere and chose something.
    Run([&](QDialog& d) {
        Child<QLineEdit>(d, "editOpenLocation")->setText("typed");
        Child<QCheckBox>(d, "cbAutoOpenLastEdited")->click();
        ClickOn(d, "btnOKNew");
    });
    ASSERT_EQ(Dialog.ResultKind(), TStartupResult::NewBudget);
    EXPECT_FALSE(Dialog.AutoOpenLast());
    for (const char* cancel : {"btnCancelNew", "btnCancelOpen", "btnCancelRecent"}) {
        SCOPED_TRACE(cancel);
        const int result = Run([&](QDialog& d) {
            EXPECT_EQ(Child<QLineEdit>(d, "editOpenLocation")->text(), "");
            EXPECT_TRUE(Child<QCheckBox>(d, "cbAutoOpenLastEdited")->isChecked());
            ShowTab(d, cancel);
            ClickOn(d, cancel);
            EXPECT_FALSE(d.isVisible());
        });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(Dialog.ResultKind(), TStartupResult::None);
        EXPECT_TRUE(Dialog.FileName().empty());
    }
}

} // namespace
