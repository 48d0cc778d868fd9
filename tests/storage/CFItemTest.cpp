#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "storage/QVBase.h"
#include "storage/QVCFItem.h"
#include "storage/QVException.h"
#include "support/Bytes.h"
#include "support/Outcome.h"

using namespace std::string_literals;

namespace {

// Encodings are built here independently of the code under test, with lengths in the writer's
// form (shortest definite), with eight length octets, or indefinite where constructed. The
// writer's form is read straight from the bytes, the others through the general tag tree, so
// the reader cases run in more than one form to reach both readers.
enum class Form { Short, Long, Indefinite };
Form BuildForm = Form::Short;

struct TUseForm {
    explicit TUseForm(Form form) { BuildForm = form; }
    ~TUseForm() { BuildForm = Form::Short; }
};

std::string Der(int tag, const std::string& content) {
    std::string out(1, static_cast<char>(tag));
    if (BuildForm == Form::Indefinite && (tag & 0x20) != 0)
        return out + "\x80" + content + "\0\0"s;
    if (BuildForm == Form::Long) {
        out.push_back('\x88');
        for (int i = 7; i >= 0; --i)
            out.push_back(static_cast<char>(content.size() >> (8 * i)));
    } else if (content.size() < 128) {
        out.push_back(static_cast<char>(content.size()));
    } else {
        std::string length;
        for (std::size_t n = content.size(); n > 0; n >>= 8)
            length.insert(length.begin(), static_cast<char>(n));
        out += static_cast<char>(0x80 + length.size()) + length;
    }
    return out + content;
}

std::string NameElement(std::u16string_view name) {
    return Der(0x1E, QVBase::WideToBytes(name));
}

std::string Item(const std::string& type, const std::string& names, const std::string& content) {
    return Der(0x30, Der(0x06, type) + Der(0x30, names) + Der(0x04, content));
}

std::string FileItem(std::u16string_view name, const std::string& data) {
    return Item("f", NameElement(name), Der(0x04, data));
}

std::string FolderItem(std::u16string_view name, std::initializer_list<std::string> children) {
    std::string content;
    for (const std::string& child : children)
        content += Der(0x04, child);
    return Item("d", NameElement(name), Der(0x30, content));
}

std::string Load(TQVCFFolder& root, const std::string& bytes) {
    return Outcome<EPACFError>([&] {
        root.LoadFromBuffer(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                            static_cast<std::uint32_t>(bytes.size()));
    });
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

TEST(CFItemTest, WorkedExamplesToTheByte) {
    const std::string fileBytes = Hex("30 0E 06 01 66 30 04 1E 02 61 00 04 03 04 01 78");
    const std::string folderBytes = Hex("30 0B 06 01 64 30 02 1E 00 04 02 30 00");
    ASSERT_EQ(FileItem(u"a", "x"), fileBytes);
    ASSERT_EQ(FolderItem(u"", {}), folderBytes);

    TQVCFFolder folder;
    TQVCFFile& file = folder.NewFile(u"a");
    file.Data = "x";
    EXPECT_EQ(file.Encode(), fileBytes);
    EXPECT_EQ(TQVCFFolder().Encode(), folderBytes);

    auto item = TQVCFItem::CreateFromBuffer(reinterpret_cast<const std::uint8_t*>(fileBytes.data()),
                                            static_cast<std::uint32_t>(fileBytes.size()));
    auto* loaded = dynamic_cast<TQVCFFile*>(item.get());
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->Name, u"a");
    EXPECT_EQ(loaded->Data, "x");
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
        std::uint32_t estimate = 0;
        file.SaveToBuffer(nullptr, estimate);
        EXPECT_GE(estimate, file.Encode().size()) << n;
        children += Der(0x04, FileItem(name, data));
    }
    const std::string bytes = folder.Encode();
    EXPECT_EQ(bytes, Item("d", NameElement(u""), Der(0x30, children)));
    TQVCFFolder copy;
    ASSERT_EQ(Load(copy, bytes), "ok");
    EXPECT_EQ(copy.Encode(), bytes);

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

// Estimates: a file's data + 16; a folder's children's item estimates + 8 each, + 16; an item
// adds its type tag, two bytes per code unit of its name and 32.
TEST(CFItemTest, SizeEstimatesAndTooSmallBuffers) {
    TQVCFFolder folder;
    folder.Name = u"dd";
    TQVCFFile& file = folder.NewFile(u"a");
    file.Data = "x";
    folder.NewFolder(u"b");
    std::uint32_t size = 0;
    EXPECT_FALSE(file.SaveToBuffer(nullptr, size));
    EXPECT_EQ(size, 17u + 1 + 2 + 32);
    size = 0;
    EXPECT_FALSE(folder.SaveToBuffer(nullptr, size));
    EXPECT_EQ(size, 16 + (52 + 8) + (16 + 1 + 2 + 32 + 8) + 1 + 4 + 32u);

    const std::string exact = folder.Encode();
    std::string buffer(exact.size(), '\0');
    auto* out = reinterpret_cast<std::uint8_t*>(buffer.data());
    size = static_cast<std::uint32_t>(exact.size());
    EXPECT_TRUE(folder.SaveToBuffer(out, size));
    EXPECT_EQ(buffer, exact);
    size = static_cast<std::uint32_t>(exact.size() - 1);
    EXPECT_EQ(Outcome<EPACFError>([&] { folder.SaveToBuffer(out, size); }), "Internal error");
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
        const struct {
            const char* what;
            std::string bytes;
            std::string message;
        } cases[] = {
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
            {"constructed name", Item("d", Der(0x3E, noName), Der(0x30, "")), badItem},
            {"constructed content",
             Der(0x30, Der(0x06, "d") + Der(0x30, noName) + Der(0x24, noChildren)), badItem},
            {"root encoded as a file", file, badFile},
            {"folder child not 0x04", Item("d", noName, Der(0x30, file)), badFile},
            {"folder content a SET", Item("d", noName, Der(0x31, "")), badFile},
            {"folder content cut short", Item("d", noName, Hex("30 05")), badFile},
            {"folder content twice", Item("d", noName, Der(0x30, "") + Der(0x30, "")), badFile},
            {"type F", inFolder(Item("F", noName, Der(0x04, "x"))), unknown},
            {"type empty", inFolder(Item("", noName, Der(0x04, "x"))), unknown},
            {"type ff", inFolder(Item("ff", noName, Der(0x04, "x"))), unknown},
            {"type before name", inFolder(Item("x", Der(0x0C, "a"), Der(0x04, "x"))), unknown},
            {"child cut short", inFolder(Hex("30 05 06")), readError},
            {"child of two parts", inFolder(Der(0x30, Der(0x06, "f") + Der(0x30, ""))), badItem},
            {"file content twice", inFolder(Item("f", noName, Der(4, "x") + Der(4, "y"))), badFile},
            {"file content constructed", inFolder(Item("f", noName, Der(0x24, ""))), badFile},
            {"file holding a folder", inFolder(Item("f", noName, Der(0x30, ""))), badFile},
            {"folder holding file data", inFolder(Item("d", noName, Der(0x04, "x"))), badFile},
        };
        for (const auto& c : cases)
            EXPECT_EQ(Load(c.bytes), c.message) << c.what << (form == Form::Long ? " (long)" : "");

        // A failed folder keeps its name and the children read before the fault, unsorted.
        TQVCFFolder root;
        EXPECT_EQ(Load(root, FolderItem(u"top", {FileItem(u"b", ""), FileItem(u"a", ""), "\x05"})),
                  readError);
        EXPECT_EQ(root.Name, u"top");
        EXPECT_EQ(Names(root), u"b a");

        // Names: the first element counts, up to its first zero code unit; an odd last byte is a
        // code unit of its own; an empty name SEQUENCE leaves the name as it was.
        auto nameOf = [](const std::string& names) {
            TQVCFFolder named;
            named.Name = u"kept";
            EXPECT_EQ(Load(named, Item("d", names, Der(0x30, ""))), "ok");
            return named.Name;
        };
        EXPECT_EQ(nameOf(""), u"kept");
        EXPECT_EQ(nameOf(Der(0x1E, "A\0"s) + Der(0x1E, "B\0"s)), u"A");
        EXPECT_EQ(nameOf(Der(0x1E, "A\0"s) + Der(0x0C, "B")), u"A");
        EXPECT_EQ(nameOf(Der(0x1E, "A\0B"s)), u"AB");
        EXPECT_EQ(nameOf(Der(0x1E, "\xAC\x20\x41"s)), u"\u20ACA");
        EXPECT_EQ(nameOf(Der(0x1E, "a\0\0\0b\0"s)), u"a");
    }
}

TEST(CFItemTest, FoldersSortCaseBlindByTheNarrowForm) {
    TQVCFFolder folder;
    EXPECT_EQ(folder.AddFile(u"b"), 0);
    EXPECT_EQ(folder.AddFile(u"A"), 0);
    EXPECT_EQ(folder.AddFolder(u"z"), 0);
    EXPECT_EQ(Names(folder), u"z A b");
    // An account's items as a file holds them; list folders named by index.
    TQVCFFolder account;
    for (const char16_t* name : {u"type", u"name", u"id", u"desc", u"i", u"ae", u"ai", u"d"})
        account.AddFile(name);
    EXPECT_EQ(Names(account), u"ae ai d desc i id name type");
    TQVCFFolder list;
    for (int i = 0; i <= 20; ++i) {
        const std::string digits = std::to_string(i);
        list.AddFolder(std::u16string(digits.begin(), digits.end()));
    }
    EXPECT_EQ(Names(list), u"0 1 10 11 12 13 14 15 16 17 18 19 2 20 3 4 5 6 7 8 9");

    // Names equal but for case keep the order of adding, as after a stable sort; so does a read.
    TQVCFFolder same;
    for (const char16_t* name : {u"x", u"b", u"X"})
        same.AddFile(name);
    EXPECT_EQ(same.AddFile(u"x"), 3);
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
        wide.AddFile(name);
    EXPECT_EQ(Names(wide), u"z \u00E9 \uE000 \uFF01 \U0001F600");
    EXPECT_EQ(wide.FindItem(u"\U0001F600", false), wide.GetItem(4));

    // An unsorted folder (the budget root) keeps the order of adding, in the file too.
    TQVCFFolder root;
    root.SetSorted(false);
    root.AddFile(u"b");
    EXPECT_EQ(root.AddFile(u"a"), 1);
    root.AddFolder(u"c");
    const std::string bytes = root.Encode();
    root.SetSorted(true);
    EXPECT_EQ(Names(root), u"c a b");
    TQVCFFolder reread;
    reread.SetSorted(false);
    ASSERT_EQ(Load(reread, bytes), "ok");
    EXPECT_EQ(Names(reread), u"b a c");
}

TEST(CFItemTest, FindItem) {
    TQVCFFolder root;
    TQVCFFile& type = root.NewFile(u"type");
    root.NewFile(u"x");
    TQVCFFile& rootA = root.NewFile(u"a");
    TQVCFFolder& sub = root.NewFolder(u"Sub");
    TQVCFFile& subA = sub.NewFile(u"a");

    EXPECT_EQ(root.FindItem(u"TYPE", false), &type);
    EXPECT_EQ(root.FindItem(u"sub/", false), &sub);
    EXPECT_EQ(root.FindItem(u"SUB/A", false), &subA);
    EXPECT_EQ(sub.FindItem(u"../a", false), &rootA);
    EXPECT_EQ(sub.FindItem(u"./a", false), &subA);
    EXPECT_EQ(sub.FindItem(u"/a", false), &rootA);
    EXPECT_EQ(root.FindItem(u"../a", false), &rootA);
    EXPECT_EQ(root.FindItem(u"sub//a", false), &rootA);
    for (const char16_t* none : {u"", u"/", u"..", u"x/y", u"none/a"})
        EXPECT_EQ(root.FindItem(none, false), nullptr);
    EXPECT_EQ(root.FindItem(u"", true), &root);
    EXPECT_EQ(sub.FindItem(u"/", true), &root);
    EXPECT_EQ(root.Count(), 4);

    // A file is passed over where a folder is wanted: a folder "x" is made beside it.
    TQVCFItem* y = root.FindItem(u"x/y", true);
    ASSERT_NE(dynamic_cast<TQVCFFile*>(y), nullptr);
    EXPECT_EQ(y->Parent()->Name, u"x");
    EXPECT_EQ(y->Parent()->Parent(), &root);
    EXPECT_EQ(root.Count(), 5);
    // ".." is a name unless a "/" follows it.
    TQVCFItem* dots = sub.FindItem(u"..", true);
    ASSERT_NE(dynamic_cast<TQVCFFile*>(dots), nullptr);
    EXPECT_EQ(dots->Name, u"..");
    EXPECT_EQ(dots->Parent(), &sub);
    TQVCFItem* r = root.FindItem(u"p/q/r", true);
    EXPECT_EQ(root.FindItem(u"P/Q/R", false), r);
    EXPECT_EQ(root.FindItem(u"p/q/", true), r->Parent());
    EXPECT_THROW(root.GetItem(root.Count()), EListError);
}

TEST(CFItemTest, FolderNestingLimit) {
    // The root is read at depth 0 and each folder below it one deeper.
    auto chain = [](int folders) {
        TQVCFFolder root;
        TQVCFFolder* folder = &root;
        for (int i = 0; i < folders; ++i)
            folder = &folder->NewFolder(u"n");
        folder->NewFile(u"leaf").Data = "deep";
        return root.Encode();
    };
    TQVCFFolder root;
    ASSERT_EQ(Load(root, chain(CFMaxFolderDepth)), "ok");
    std::u16string path;
    for (int i = 0; i < CFMaxFolderDepth; ++i)
        path += u"n/";
    auto* leaf = dynamic_cast<TQVCFFile*>(root.FindItem(path + u"leaf", false));
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->Data, "deep");
    EXPECT_EQ(Load(chain(CFMaxFolderDepth + 1)), "Invalid CF file");
}
