// The settings dialog, driven as a user would through the Prompter hooks.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "model/QVStringKeeper.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/QVCompoundFile.h"
#include "ui/dialogs/SettingsForm.h"

namespace {

using Action = std::function<void(QDialog&)>;

// Clicks near the left edge: a check box reacts on its indicator and text only, not on the free
// space its column gives it.
void Click(QDialog& d, const char* name) {
    auto* button = Child<QAbstractButton>(d, name);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

struct Flag {
    const char* box;
    bool TQVSettings::*setting;
    bool inverted;
};
const Flag Flags[] = {
    {"cbShowA2A", &TQVSettings::ShowA2A, false},
    {"cbHideEmptyMonths", &TQVSettings::ShowEmptyMonths, true},
    {"cbTrayIcon", &TQVSettings::UseTray, false},
    {"cbHideOnMinimize", &TQVSettings::HideOnMinimize, false},
    {"cbHideOnClose", &TQVSettings::HideOnClose, false},
    {"cbNotifications", &TQVSettings::Notifications, false},
    {"cbShowAdjustments", &TQVSettings::ShowBalanceAdjustments, false},
    {"cbAutoOpenLast", &TQVSettings::AutoOpenLast, false},
};

const QString RestartWarning = "Changing this feature requires restart of the application";

class SettingsFormTest : public UiTest {
protected:
    // Loads `settings`, runs the dialog with `action` and saves into `settings` after OK.
    int Run(TQVSettings& settings, Action action) {
        Dialog.LoadFromSettings(settings);
        DialogActions.push_back(std::move(action));
        const int result = Prompter::Exec(Dialog);
        if (result == QDialog::Accepted) {
            Dialog.SaveToSettings(settings);
        }
        return result;
    }

    std::string AutostartEntry() const {
        return Home.File("config/autostart/quillvane-autostart.desktop");
    }

    TfrmSettings Dialog;
};

TEST_F(SettingsFormTest, EveryCheckBoxShowsAndStoresItsSetting) {
    for (const bool value : {true, false}) {
        SCOPED_TRACE(value);
        TQVSettings settings;
        for (const Flag& flag : Flags) {
            settings.*flag.setting = value;
        }
        Run(settings, [&](QDialog& d) {
            for (const Flag& flag : Flags) {
                auto* box = Child<QCheckBox>(d, flag.box);
                EXPECT_EQ(box->isChecked(), value != flag.inverted) << flag.box;
                if (box->isVisible()) {
                    Click(d, flag.box);
                }
            }
            Click(d, "btnOK");
        });
        for (const Flag& flag : Flags) {
            const bool hidden = std::string(flag.box) == "cbNotifications";
            EXPECT_EQ(settings.*flag.setting, hidden ? value : !value) << flag.box;
        }
    }
    EXPECT_EQ(Messages.size(), 2u) << "one warning per click on the tray box only";
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
            Click(d, "btnOK");
        });
        EXPECT_EQ(settings.TrayDblClick, c.saved);
    }
}

TEST_F(SettingsFormTest, AutostartFollowsTheBoxOnEveryOK) {
    TQVSettings settings;
    bool shown = true;
    const auto runToggling = [&](bool toggle) {
        Run(settings, [&](QDialog& d) {
            shown = Child<QCheckBox>(d, "cbRunOnSystemStartup")->isChecked();
            if (toggle) {
                Click(d, "cbRunOnSystemStartup");
            }
            Click(d, "btnOK");
        });
    };
    runToggling(true);
    EXPECT_FALSE(shown);
    EXPECT_TRUE(FileSystem::FileExists(AutostartEntry()));

    // Removed behind the program's back: the box shows it, and OK leaves it removed.
    Env().DisableAutorun();
    runToggling(false);
    EXPECT_FALSE(shown);
    EXPECT_FALSE(FileSystem::FileExists(AutostartEntry()));

    Env().EnableAutorun();
    runToggling(false);
    EXPECT_TRUE(shown);
    EXPECT_TRUE(FileSystem::FileExists(AutostartEntry()));
    runToggling(true);
    EXPECT_FALSE(FileSystem::FileExists(AutostartEntry()));

    // Cancel writes nothing.
    Dialog.LoadFromSettings(settings);
    DialogActions.push_back([](QDialog& d) {
        Click(d, "cbRunOnSystemStartup");
        Click(d, "btnCancel");
    });
    EXPECT_EQ(Prompter::Exec(Dialog), QDialog::Rejected);
    EXPECT_FALSE(FileSystem::FileExists(AutostartEntry()));
}

TEST_F(SettingsFormTest, TrayBoxWarnsOnEveryClickOnly) {
    TQVSettings settings;
    settings.UseTray = false;
    Run(settings, [](QDialog& d) {
        Click(d, "cbTrayIcon");
        Click(d, "cbTrayIcon");
        Click(d, "cbTrayIcon");
        Click(d, "btnOK");
    });
    ASSERT_EQ(Messages.size(), 3u);
    EXPECT_EQ(Messages[0].kind, Prompter::Kind::Warning);
    EXPECT_EQ(Messages[0].text, RestartWarning);
    EXPECT_EQ(Messages[0].buttons, QMessageBox::Ok);
    EXPECT_TRUE(settings.UseTray);

    settings.UseTray = false;
    Dialog.LoadFromSettings(settings);
    EXPECT_EQ(Messages.size(), 3u) << "setting the box from the settings says nothing";
}

TEST_F(SettingsFormTest, LanguageListOffersTheLoadedTables) {
    const std::string folder = Home.Path() + "/lang2";
    FileSystem::ForceFolders(folder);
    {
        TQVStringKeeper table;
        table.Id = "de";
        table.Title = u"Deutsch";
        table.AddString(u"MNU_FILE", u"&Datei");
        TQVCompoundFile container;
        table.SaveToFolder(container.Root());
        TFileStream file(folder + "/de.lng", TFileMode::Create);
        container.SaveToStream(file);
    }
    Env().LoadLanguagesFrom({QV_LANG_DIR "/", folder + "/"});
    ASSERT_EQ(Env().LanguageCount(), 2);

    struct Case {
        std::string stored;
        QString shown;
        int choose;
        std::string saved;
    };
    const Case cases[] = {{"de", "Deutsch", 0, "en"},
                          {"en", "English (default)", 1, "de"},
                          {"xx", "English (default)", 0, "en"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        TQVSettings settings;
        settings.Lang = c.stored;
        Run(settings, [&](QDialog& d) {
            auto* list = Child<QComboBox>(d, "cbLanguage");
            ASSERT_EQ(list->count(), 2);
            EXPECT_EQ(list->itemText(0), "English (default)");
            EXPECT_EQ(list->itemText(1), "Deutsch");
            EXPECT_EQ(list->currentText(), c.shown);
            list->setCurrentIndex(c.choose);
            Click(d, "btnOK");
        });
        EXPECT_EQ(Dialog.ChosenLanguageId(), c.saved);
        EXPECT_EQ(settings.Lang, c.saved);
    }
}

} // namespace
