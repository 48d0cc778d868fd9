// The settings dialog, driven as a user would through the Prompter hooks. Its language list is
// met through the main window, which applies the choice at once.
#include <QCheckBox>

#include "UiTestSupport.h"
#include "platform/FileSystem.h"
#include "ui/dialogs/SettingsForm.h"

namespace {

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
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[0].kind, Prompter::Kind::Warning);
    EXPECT_EQ(Messages[0].text, "Changing this feature requires restart of the application");
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

} // namespace
