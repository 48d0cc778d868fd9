#include "platform/Folders.h"

#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/TempDir.h"

TEST(FoldersTest, XdgVariablesWhenAbsoluteElseDefaultsFromHome) {
    TTempDir temp;
    TScopedEnv home("HOME", temp.Path() + "/");
    {
        TScopedEnv data("XDG_DATA_HOME", "/data/here/");
        TScopedEnv config("XDG_CONFIG_HOME", "/conf");
        TScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/1");
        EXPECT_EQ(Folders::HomeFolder(), temp.Path());
        EXPECT_EQ(Folders::UserDataFolder(), "/data/here");
        EXPECT_EQ(Folders::UserConfigFolder(), "/conf");
        EXPECT_EQ(Folders::UserRuntimeFolder(), "/run/user/1");
    }
    // Relative or empty values are ignored, as the XDG rules demand.
    TScopedEnv data("XDG_DATA_HOME", "relative/data");
    TScopedEnv config("XDG_CONFIG_HOME", "");
    TScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    TScopedEnv tmp("TMPDIR", std::nullopt);
    EXPECT_EQ(Folders::UserDataFolder(), temp.Path() + "/.local/share");
    EXPECT_EQ(Folders::UserConfigFolder(), temp.Path() + "/.config");
    EXPECT_EQ(Folders::UserRuntimeFolder(), "/tmp");
}

TEST(FoldersTest, UserDirsFileAndDefaults) {
    TTempDir temp;
    TScopedEnv home("HOME", temp.Path());
    TScopedEnv config("XDG_CONFIG_HOME", temp.Path() + "/cfg");
    EXPECT_EQ(Folders::DocumentsFolder(), "");
    ASSERT_EQ(mkdir(temp.File("Documents").c_str(), 0755), 0);
    EXPECT_EQ(Folders::DocumentsFolder(), temp.File("Documents"));
    ASSERT_EQ(mkdir(temp.File("cfg").c_str(), 0755), 0);
    std::ofstream(temp.File("cfg/user-dirs.dirs")) << "#XDG_DOCUMENTS_DIR=\"/commented/out\"\n"
                                                      "XDG_DESKTOP_DIR=\"$HOME/Schreib tisch/\"\n"
                                                      "XDG_DOCUMENTS_DIR=\"docs\"\n";
    EXPECT_EQ(Folders::DesktopFolder(), temp.Path() + "/Schreib tisch");
    EXPECT_EQ(Folders::DocumentsFolder(), temp.File("Documents")) << "not a path: the default";
}

TEST(FoldersTest, FullPathNormalisesLexicallyWithoutLengthLimit) {
    EXPECT_EQ(Folders::FullPath(""), "");
    EXPECT_EQ(Folders::FullPath("/a//b/./c/../d"), "/a/b/d");
    EXPECT_EQ(Folders::FullPath("/a/b/"), "/a/b");
    EXPECT_EQ(Folders::FullPath("/../.."), "/");
    EXPECT_EQ(Folders::FullPath("/a/..b/c.."), "/a/..b/c..");
    TTempDir temp;
    std::string deep = temp.Path();
    for (int i = 0; i < 8; ++i) {
        deep += "/" + std::string(60, 'n');
        ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    }
    const std::string saved = Folders::FullPath(".");
    ASSERT_EQ(chdir(deep.c_str()), 0);
    const std::string longName(300, 'f');
    EXPECT_EQ(Folders::FullPath("file"), deep + "/file");
    EXPECT_EQ(Folders::FullPath("./x/../" + longName), deep + "/" + longName);
    EXPECT_EQ(Folders::FullPath("../" + longName),
              deep.substr(0, deep.rfind('/')) + "/" + longName);
    EXPECT_EQ(Folders::FullPath("."), deep);
    ASSERT_EQ(chdir(saved.c_str()), 0);
}
