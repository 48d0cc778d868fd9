#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "storage/QVBase.h"
#include "storage/QVException.h"
#include "storage/container/QVCFItem.h"
#include "support/Bytes.h"
#include "support/CFBuild.h"
#include "support/Outcome.h"

using namespace std::string_literals;

namespace {

std::string Load(TQVCFFolder& root, const std::string& bytes) {
    return Outcome<EPACFError>([&] { LoadBuffer(root, bytes); });
}

std::string Load(const std::string& bytes) {
    TQVCFFolder root;
    return Load(root, bytes);
}

// The children's names in the folder's order, separated by blanks.
std::u16string Names(const TQVCFFolder& folder) {
    std::u16string names;
    for (int i = 0; i < folder.Count(); ++i)
        names += (i > 0 ? u" " : u"") + folder.GetItem(i)->Name;
    return names;
}

} // namespace

// The builder the other cases rely on, and the writer, against bytes worked out by hand.
TEST(CFItemTest, WorkedExamplesToTheByte) {
    const std::string fileBytes = Hex("30 0E 06 01 66 30 04 1E 02 61 00 04 03 04 01 78");
    const std::string folderBytes = Hex("30 0B 06 01 64 30 02 1E 00 04 02 30 00");
    ASSERT_EQ(FileItem(u"a", "x"), fileBytes);
    ASSERT_EQ(FolderItem(u"", {}), folderBytes);
    TQVCFFolder folder;
    folder.NewFile(u"a").Data = "x";
    EXPECT_EQ(folder.GetItem(0)->Encode(), fileBytes);
}

// Every length across the one-, two- and three-octet forms, written exactly as the independent
// builder writes them, and read back by both readers.
TEST(CFItemTest, LengthFormsRoundTrip) {
    TQVCFFolder folder;
    std::string children;
    // Each name is a prefix of the next, so the folder keeps the order of adding.
    for (std::size_t n : {0, 1, 63, 64, 127, 128, 255, 256, 65535, 65536}) {
        std::u16string name;
        std::string data;
        for (std::size_t i = 0; i < n; ++i) {
            name.push_back(static_cast<char16_t>(i % 2 ? u'a' + i % 26 : 0x0400 + i % 200));
            data.push_back(static_cast<char>(i * 7));
        }
        TQVCFFile& file = folder.NewFile(name);
        file.Data = data;
        EXPECT_EQ(file.Encode(), FileItem(name, data)) << n;
        children += Der(0x04, FileItem(name, data));
    }
    const std::string bytes = folder.Encode();
    EXPECT_EQ(bytes, Item("d", NameElement(u""), Der(0x30, children)));
    auto tree = [](Form form) {
        TUseForm use(form);
        return FolderItem(u"root", {FileItem(u"b", std::string(300, 'x')),
                                    FolderItem(u"Sub", {FileItem(u"", ""), FileItem(u"a", "1")}),
                                    FolderItem(u"empty", {})});
    };
    TQVCFFolder plain;
    ASSERT_EQ(Load(plain, tree(Form::Short)), "ok");
    EXPECT_EQ(Names(plain), u"empty Sub b");
    for (Form form : {Form::Long, Form::Indefinite}) {
        TQVCFFolder other;
        ASSERT_EQ(Load(other, tree(form)), "ok");
        EXPECT_EQ(other.Name, u"root");
        EXPECT_EQ(other.Encode(), plain.Encode());
    }
}

TEST(CFItemTest, ReaderErrors) {
    for (Form form : {Form::Short, Form::Long}) {
        TUseForm use(form);
        const std::string file = FileItem(u"a", "x");
        const std::string noName = NameElement(u"");
        const std::string noChildren = Der(0x04, Der(0x30, ""));
        const std::string readError = "CF item read error", badItem = "Invalid CF item",
                          badFile = "Invalid CF file", unknown = "Unknown CF item type";
        auto inFolder = [](const std::string& child) { return FolderItem(u"", {child}); };
        const TErrorCase cases[] = {
            {"nothing", "", badItem},
            {"cut short", Hex("30 05 06 01"), readError},
            {"two items", FolderItem(u"", {}) + FolderItem(u"", {}), badItem},
            {"SET", Der(0x31, Der(0x06, "d") + Der(0x30, noName) + noChildren), badItem},
            {"fourth child", Der(0x30, Der(0x06, "d") + Der(0x30, noName) + noChildren + file),
             badItem},
            {"two children", Der(0x30, Der(0x06, "d") + Der(0x30, noName)), badItem},
            {"constructed type", Der(0x30, Der(0x26, Der(4, "d")) + Der(0x30, noName) + noChildren),
             badItem},
            {"name not a SEQUENCE", Der(0x30, Der(0x06, "d") + Der(0x04, noName) + noChildren),
             badItem},
            {"name not 0x1E", Item("d", Der(0x0C, "a"), Der(0x30, "")), badItem},
            {"constructed content",
             Der(0x30, Der(0x06, "d") + Der(0x30, noName) + Der(0x24, noChildren)), badItem},
            {"root encoded as a file", file, badFile},
            {"folder child not 0x04", Item("d", noName, Der(0x30, file)), badFile},
            {"folder content cut short", Item("d", noName, Hex("30 05")), badFile},
            {"folder content twice", Item("d", noName, Der(0x30, "") + Der(0x30, "")), badFile},
            {"type F", inFolder(Item("F", noName, Der(0x04, "x"))), unknown},
            {"type ff", inFolder(Item("ff", noName, Der(0x04, "x"))), unknown},
            {"type before name", inFolder(Item("x", Der(0x0C, "a"), Der(0x04, "x"))), unknown},
            {"child cut short", inFolder(Hex("30 05 06")), readError},
            {"file content twice", inFolder(Item("f", noName, Der(4, "x") + Der(4, "y"))), badFile},
            {"file holding a folder", inFolder(Item("f", noName, Der(0x30, ""))), badFile},
            {"folder holding file data", inFolder(Item("d", noName, Der(0x04, "x"))), badFile},
        };
        for (const auto& c : cases)
            EXPECT_EQ(Load(c.bytes), c.message) << c.what << (form == Form::Long ? " (long)" : "");
        // Names: the first element counts, up to its first zero code unit; an odd last byte is a
        // code unit of its own; an empty name SEQUENCE leaves the name as it was.
        const std::pair<std::string, std::u16string> names[] = {
            {"", u"kept"},
            {Der(0x1E, "A\0"s) + Der(0x0C, "B"), u"A"},
            {Der(0x1E, "A\0B"s), u"AB"},
            {Der(0x1E, "a\0\0\0b\0"s), u"a"}};
        for (const auto& [elements, name] : names) {
            TQVCFFolder named;
            named.Name = u"kept";
            EXPECT_EQ(Load(named, Item("d", elements, Der(0x30, ""))), "ok");
            EXPECT_EQ(named.Name, name);
        }
    }
}

// Where a new item stands in its folder.
int IndexOf(const TQVCFFolder& folder, const TQVCFItem& item) {
    for (int i = 0; i < folder.Count(); ++i)
        if (folder.GetItem(i) == &item)
            return i;
    return -1;
}

TEST(CFItemTest, FoldersSortCaseBlindByTheNarrowForm) {
    TQVCFFolder folder;
    EXPECT_EQ(IndexOf(folder, folder.NewFile(u"b")), 0);
    EXPECT_EQ(IndexOf(folder, folder.NewFile(u"A")), 0);
    EXPECT_EQ(IndexOf(folder, folder.NewFolder(u"z")), 0);
    EXPECT_EQ(Names(folder), u"z A b");
    // List folders, named by index.
    TQVCFFolder list;
    for (int i = 0; i <= 20; ++i) {
        const std::string digits = std::to_string(i);
        list.NewFolder(std::u16string(digits.begin(), digits.end()));
    }
    EXPECT_EQ(Names(list), u"0 1 10 11 12 13 14 15 16 17 18 19 2 20 3 4 5 6 7 8 9");
    // Names equal but for case keep the order of adding, as after a stable sort; so does a read.
    TQVCFFolder same;
    for (const char16_t* name : {u"x", u"b", u"X"})
        same.NewFile(name);
    EXPECT_EQ(IndexOf(same, same.NewFile(u"x")), 3);
    EXPECT_EQ(Names(same), u"b x X x");
    TQVCFFolder loaded;
    ASSERT_EQ(
        Load(loaded, FolderItem(u"", {FileItem(u"X", ""), FileItem(u"b", ""), FileItem(u"x", "")})),
        "ok");
    EXPECT_EQ(Names(loaded), u"b X x");
    // ASCII letters fold to upper case, so "_" (0x5F) sorts after every letter; the narrow form
    // (UTF-8) ends at U+0000 and puts U+10000 and above after U+E000..U+FFFF.
    EXPECT_GT(TQVCFFolder::CompareNames(u"_", u"a"), 0);
    EXPECT_EQ(TQVCFFolder::CompareNames(u"a\0b"s, u"A"), 0);
    TQVCFFolder wide;
    for (const char16_t* name : {u"\U0001F600", u"\uFF01", u"\uE000", u"z", u"\u00E9"})
        wide.NewFile(name);
    EXPECT_EQ(Names(wide), u"z \u00E9 \uE000 \uFF01 \U0001F600");
    // An unsorted folder (the budget root) keeps the order of adding, in the file too.
    TQVCFFolder root;
    root.SetSorted(false);
    root.NewFile(u"b");
    EXPECT_EQ(IndexOf(root, root.NewFile(u"a")), 1);
    root.NewFolder(u"c");
    const std::string bytes = root.Encode();
    root.SetSorted(true);
    EXPECT_EQ(Names(root), u"c a b");
    TQVCFFolder reread;
    reread.SetSorted(false);
    ASSERT_EQ(Load(reread, bytes), "ok");
    EXPECT_EQ(Names(reread), u"b a c");
}

// The root is read at depth 0 and each folder below it one deeper, by either reader.
TEST(CFItemTest, FolderNestingLimit) {
    std::u16string path;
    for (int i = 0; i < CFMaxFolderDepth; ++i)
        path += u"n/";
    for (const bool general : {false, true}) {
        auto bytes = [general](int folders) {
            TQVCFFolder root;
            TQVCFFolder* folder = &root;
            for (int i = 0; i < folders; ++i)
                folder = &folder->NewFolder(u"n");
            folder->NewFile(u"leaf").Data = "deep";
            return general ? LongForm(root) : root.Encode();
        };
        TQVCFFolder root;
        ASSERT_EQ(Load(root, bytes(CFMaxFolderDepth)), "ok") << general;
        auto* leaf = dynamic_cast<TQVCFFile*>(root.FindItem(path + u"leaf", false));
        ASSERT_NE(leaf, nullptr);
        EXPECT_EQ(leaf->Data, "deep");
        EXPECT_EQ(Load(bytes(CFMaxFolderDepth + 1)), "Invalid CF file") << general;
    }
}
