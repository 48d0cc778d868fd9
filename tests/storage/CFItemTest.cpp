#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "storage/QVBase.h"
#include "storage/QVCFItem.h"
#include "storage/QVException.h"

using namespace std::string_literals;

namespace {

std::string Hex(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 3)
        bytes.push_back(static_cast<char>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    return bytes;
}

// How the builders below write lengths: shortest definite (as the writer does), definite with
// eight length octets, or indefinite for constructed elements.
enum class Form { Short, Long, Indefinite };

// The form the builders use unless told; the error tests run their cases in each form, so that
// both the writer's form and the general reader meet every fault.
Form BuildForm = Form::Short;

class TBuildForm {
public:
    explicit TBuildForm(Form form) { BuildForm = form; }
    ~TBuildForm() { BuildForm = Form::Short; }
};

// An element built independently of the code under test.
std::string Der(int tag, const std::string& content, Form form = BuildForm) {
    std::string out(1, static_cast<char>(tag));
    if (form == Form::Indefinite && (tag & 0x20) != 0)
        return out + "\x80" + content + std::string(2, '\0');
    if (form != Form::Short) {
        out.push_back('\x88');
        for (int i = 7; i >= 0; --i)
            out.push_back(static_cast<char>(content.size() >> (8 * i)));
    } else if (content.size() < 128) {
        out.push_back(static_cast<char>(content.size()));
    } else {
        std::string length;
        for (std::size_t n = content.size(); n > 0; n >>= 8)
            length.insert(length.begin(), static_cast<char>(n & 0xFF));
        out.push_back(static_cast<char>(0x80 + length.size()));
        out += length;
    }
    return out + content;
}

std::string NameElement(std::u16string_view name, Form form = BuildForm) {
    return Der(0x1E, QVBase::WideToBytes(name), form);
}

std::string Item(const std::string& type, const std::string& nameSequence,
                 const std::string& content, Form form = BuildForm) {
    return Der(0x30,
               Der(0x06, type, form) + Der(0x30, nameSequence, form) + Der(0x04, content, form),
               form);
}

std::string FileItem(std::u16string_view name, const std::string& data, Form form = BuildForm) {
    return Item("f", NameElement(name, form), Der(0x04, data, form), form);
}

std::string FolderItem(std::u16string_view name, std::initializer_list<std::string> children,
                       Form form = BuildForm) {
    std::string content;
    for (const std::string& child : children)
        content += Der(0x04, child, form);
    return Item("d", NameElement(name, form), Der(0x30, content, form), form);
}

// The item's encoding through the estimate-then-write protocol that the container uses.
std::string Encode(const TQVCFItem& item) {
    std::uint32_t size = 0;
    EXPECT_FALSE(item.SaveToBuffer(nullptr, size));
    std::string buffer(size, '\0');
    EXPECT_TRUE(item.SaveToBuffer(reinterpret_cast<std::uint8_t*>(buffer.data()), size));
    EXPECT_LE(size, buffer.size());
    buffer.resize(size);
    return buffer;
}

// "ok", or the message that loading `bytes` into `root` raised.
std::string Load(TQVCFFolder& root, const std::string& bytes) {
    try {
        root.LoadFromBuffer(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                            static_cast<std::uint32_t>(bytes.size()));
        return "ok";
    } catch (const EPACFError& e) {
        return e.Message();
    }
}

std::string Load(const std::string& bytes) {
    TQVCFFolder root;
    return Load(root, bytes);
}

std::unique_ptr<TQVCFItem> Create(const std::string& bytes) {
    return TQVCFItem::CreateFromBuffer(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                       static_cast<std::uint32_t>(bytes.size()));
}

std::vector<std::u16string> Names(const TQVCFFolder& folder) {
    std::vector<std::u16string> names;
    for (int i = 0; i < folder.Count(); ++i)
        names.push_back(folder.GetItem(i)->Name);
    return names;
}

std::string DataOf(const TQVCFFolder& folder) {
    std::string data;
    for (int i = 0; i < folder.Count(); ++i)
        data += static_cast<const TQVCFFile&>(*folder.GetItem(i)).Data;
    return data;
}

} // namespace

TEST(CFItemTest, WorkedExamples) {
    const std::string fileBytes = Hex("30 0E 06 01 66 30 04 1E 02 61 00 04 03 04 01 78");
    const std::string folderBytes = Hex("30 0B 06 01 64 30 02 1E 00 04 02 30 00");
    ASSERT_EQ(FileItem(u"a", "x"), fileBytes);
    ASSERT_EQ(FolderItem(u"", {}), folderBytes);

    TQVCFFolder parent;
    TQVCFFile& file = parent.NewFile(u"a");
    file.Data = "x";
    EXPECT_EQ(Encode(file), fileBytes);
    EXPECT_EQ(file.Encode(), fileBytes);
    TQVCFFolder empty;
    EXPECT_EQ(Encode(empty), folderBytes);

    auto loadedFile = Create(fileBytes);
    auto* f = dynamic_cast<TQVCFFile*>(loadedFile.get());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Name, u"a");
    EXPECT_EQ(f->Data, "x");
    auto loadedFolder = Create(folderBytes);
    auto* d = dynamic_cast<TQVCFFolder*>(loadedFolder.get());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Count(), 0);
    EXPECT_TRUE(d->Sorted());

    // Longer and indefinite length forms are read as well.
    EXPECT_EQ(Load(Hex("30 81 0B 06 01 64 30 02 1E 00 04 02 30 00")), "ok");
    EXPECT_EQ(Load(Hex("30 80 06 01 64 30 80 1E 00 00 00 04 02 30 00 00 00")), "ok");
}

TEST(CFItemTest, EveryLengthFormReadsAlike) {
    // The writer's own form is read straight from the bytes; the other forms go through the
    // general tag tree. Both must build the same tree.
    auto tree = [](Form form) {
        return FolderItem(
            u"root",
            {FileItem(u"b", std::string(300, 'x'), form),
             FolderItem(u"Sub", {FileItem(u"", "", form), FileItem(u"a", "1", form)}, form),
             FolderItem(u"empty", {}, form)},
            form);
    };
    TQVCFFolder plain;
    ASSERT_EQ(Load(plain, tree(Form::Short)), "ok");
    EXPECT_EQ(Names(plain), (std::vector<std::u16string>{u"empty", u"Sub", u"b"}));
    for (Form form : {Form::Long, Form::Indefinite}) {
        TQVCFFolder other;
        ASSERT_EQ(Load(other, tree(form)), "ok");
        EXPECT_EQ(other.Name, u"root");
        EXPECT_EQ(other.Encode(), plain.Encode());
    }
}

TEST(CFItemTest, SizeEstimateProtocol) {
    TQVCFFile file;
    file.Name = u"a";
    file.Data = "x";
    std::uint32_t size = 0;
    EXPECT_FALSE(file.SaveContentToBuffer(nullptr, size));
    EXPECT_EQ(size, 1u + 16);
    size = 0;
    EXPECT_FALSE(file.SaveToBuffer(nullptr, size));
    EXPECT_EQ(size, 17u + 1 + 2 + 32);

    // Children's item estimates plus 8 each, plus 16; then the item's own margin.
    TQVCFFolder folder;
    folder.Name = u"dd";
    folder.NewFile(u"a").Data = "x";
    folder.NewFolder(u"b");
    size = 0;
    EXPECT_FALSE(folder.SaveToBuffer(nullptr, size));
    const std::uint32_t content = 16 + (52 + 8) + ((16 + 1 + 2 + 32) + 8);
    EXPECT_EQ(size, content + 1 + 4 + 32);

    const std::string exact = folder.Encode();
    std::string buffer(exact.size(), '\0');
    size = static_cast<std::uint32_t>(exact.size());
    EXPECT_TRUE(folder.SaveToBuffer(reinterpret_cast<std::uint8_t*>(buffer.data()), size));
    EXPECT_EQ(size, exact.size());
    EXPECT_EQ(buffer, exact);

    size = static_cast<std::uint32_t>(exact.size() - 1);
    try {
        folder.SaveToBuffer(reinterpret_cast<std::uint8_t*>(buffer.data()), size);
        ADD_FAILURE() << "a buffer one byte short was accepted";
    } catch (const EPACFError& e) {
        EXPECT_EQ(e.Message(), "Internal error");
    }
    std::uint8_t small[2];
    size = 2;
    try {
        file.SaveContentToBuffer(small, size);
        ADD_FAILURE() << "a content buffer too small was accepted";
    } catch (const EPACFError& e) {
        EXPECT_EQ(e.Message(), "Internal error");
    }
}

TEST(CFItemTest, LengthBoundariesRoundTrip) {
    TQVCFFolder folder;
    std::string expectedChildren;
    for (std::size_t n : {0, 1, 63, 64, 127, 128, 255, 256, 65535, 65536}) {
        std::u16string name;
        std::string data;
        for (std::size_t i = 0; i < n; ++i) {
            name.push_back(static_cast<char16_t>(i % 2 ? u'a' + i % 26 : 0x0400 + i % 200));
            data.push_back(static_cast<char>(i * 7));
        }
        TQVCFFile& file = folder.NewFile(name);
        file.Data = data;
        const std::string bytes = Encode(file);
        EXPECT_EQ(bytes, FileItem(name, data)) << n;
        std::uint32_t estimate = 0;
        file.SaveToBuffer(nullptr, estimate);
        EXPECT_GE(estimate, bytes.size());

        auto loaded = Create(bytes);
        auto* copy = dynamic_cast<TQVCFFile*>(loaded.get());
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->Name, name) << n;
        EXPECT_EQ(copy->Data, data) << n;
        expectedChildren += Der(0x04, bytes);
    }
    // Each name is a prefix of the next, so the sorted order is the order of adding.
    const std::string bytes = Encode(folder);
    EXPECT_EQ(bytes, Item("d", NameElement(u""), Der(0x30, expectedChildren)));
    TQVCFFolder copy;
    ASSERT_EQ(Load(copy, bytes), "ok");
    EXPECT_EQ(copy.Encode(), bytes);
}

static void ReaderErrorsIn(Form form) {
    TBuildForm use(form);
    const std::string file = FileItem(u"a", "x");
    const std::string emptyName = NameElement(u"");
    const std::string emptyContent = Der(0x04, Der(0x30, ""));
    const std::string itemRead = "CF item read error";
    const std::string invalidItem = "Invalid CF item";
    const std::string invalidFile = "Invalid CF file";
    const std::string unknownType = "Unknown CF item type";
    const struct {
        const char* what;
        std::string bytes;
        std::string message;
    } cases[] = {
        {"no element", "", invalidItem},
        {"cut short", Hex("30 05 06 01"), itemRead},
        {"two items", FolderItem(u"", {}) + FolderItem(u"", {}), invalidItem},
        {"SET", Der(0x31, Der(0x06, "d") + Der(0x30, emptyName) + emptyContent), invalidItem},
        {"fourth child", Der(0x30, Der(0x06, "d") + Der(0x30, emptyName) + emptyContent + file),
         invalidItem},
        {"two children", Der(0x30, Der(0x06, "d") + Der(0x30, emptyName)), invalidItem},
        {"constructed type",
         Der(0x30, Der(0x26, Der(0x04, "d")) + Der(0x30, emptyName) + emptyContent), invalidItem},
        {"name not a SEQUENCE", Der(0x30, Der(0x06, "d") + Der(0x04, emptyName) + emptyContent),
         invalidItem},
        {"name not 0x1E", Item("d", Der(0x0C, "a"), Der(0x30, "")), invalidItem},
        {"constructed name", Item("d", Der(0x3E, emptyName), Der(0x30, "")), invalidItem},
        {"constructed content",
         Der(0x30, Der(0x06, "d") + Der(0x30, emptyName) + Der(0x24, Der(0x04, Der(0x30, "")))),
         invalidItem},
        {"root encoded as a file", file, invalidFile},
        {"folder child not 0x04", Item("d", emptyName, Der(0x30, file)), invalidFile},
        {"folder content a SET", Item("d", emptyName, Der(0x31, "")), invalidFile},
        {"folder content cut short", Item("d", emptyName, Hex("30 05")), invalidFile},
        {"folder content twice", Item("d", emptyName, Der(0x30, "") + Der(0x30, "")), invalidFile},
        {"child type F", FolderItem(u"", {Item("F", NameElement(u"a"), Der(0x04, "x"))}),
         unknownType},
        {"child type x", FolderItem(u"", {Item("x", NameElement(u"a"), Der(0x04, "x"))}),
         unknownType},
        {"child type empty", FolderItem(u"", {Item("", NameElement(u"a"), Der(0x04, "x"))}),
         unknownType},
        {"child type ff", FolderItem(u"", {Item("ff", NameElement(u"a"), Der(0x04, "x"))}),
         unknownType},
        {"type before name", FolderItem(u"", {Item("x", Der(0x0C, "a"), Der(0x04, "x"))}),
         unknownType},
        {"child cut short", FolderItem(u"", {Hex("30 05 06")}), itemRead},
        {"child of two parts", FolderItem(u"", {Der(0x30, Der(0x06, "f") + Der(0x30, ""))}),
         invalidItem},
        {"file content twice", FolderItem(u"", {Item("f", emptyName, Der(4, "x") + Der(4, "y"))}),
         invalidFile},
        {"file content constructed", FolderItem(u"", {Item("f", emptyName, Der(0x24, ""))}),
         invalidFile},
        {"file holding a folder", FolderItem(u"", {Item("f", emptyName, Der(0x30, ""))}),
         invalidFile},
        {"folder holding file data", FolderItem(u"", {Item("d", emptyName, Der(0x04, "x"))}),
         invalidFile},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Load(c.bytes), c.message) << c.what << (form == Form::Long ? " (long)" : "");

    // A failed folder keeps the children read before the fault, in their stored order, and the
    // name read before it.
    TQVCFFolder root;
    EXPECT_EQ(Load(root, FolderItem(u"top", {FileItem(u"b", ""), FileItem(u"a", ""), "\x05"s})),
              itemRead);
    EXPECT_EQ(root.Name, u"top");
    EXPECT_EQ(Names(root), (std::vector<std::u16string>{u"b", u"a"}));
}

TEST(CFItemTest, ReaderErrors) {
    for (Form form : {Form::Short, Form::Long})
        ReaderErrorsIn(form);
}

static void NameDecodingIn(Form form) {
    TBuildForm use(form);
    auto nameOf = [](const std::string& nameSequence) {
        TQVCFFolder root;
        root.Name = u"kept";
        EXPECT_EQ(Load(root, Item("d", nameSequence, Der(0x30, ""))), "ok");
        return root.Name;
    };
    EXPECT_EQ(nameOf(""), u"kept");
    EXPECT_EQ(nameOf(Der(0x1E, "A\0"s) + Der(0x1E, "B\0"s)), u"A");
    EXPECT_EQ(nameOf(Der(0x1E, "A\0"s) + Der(0x0C, "B")), u"A");
    EXPECT_EQ(nameOf(Der(0x1E, "A\0B"s)), u"AB");
    EXPECT_EQ(nameOf(Der(0x1E, "\xAC\x20\x41"s)), u"\u20ACA");
    EXPECT_EQ(nameOf(Der(0x1E, "a\0\0\0b\0"s)), u"a");
    EXPECT_EQ(nameOf(Der(0x1E, "")), u"");
}

TEST(CFItemTest, NameDecoding) {
    for (Form form : {Form::Short, Form::Long})
        NameDecodingIn(form);
}

TEST(CFItemTest, SortedOrder) {
    using Names_t = std::vector<std::u16string>;
    TQVCFFolder folder;
    EXPECT_EQ(folder.AddFile(u"b"), 0);
    EXPECT_EQ(folder.AddFile(u"A"), 0);
    EXPECT_EQ(folder.AddFolder(u"z"), 0);
    EXPECT_EQ(Names(folder), (Names_t{u"z", u"A", u"b"}));

    TQVCFFolder account;
    for (const char16_t* name : {u"type", u"name", u"id", u"i", u"desc", u"d", u"ai", u"ae"})
        account.AddFile(name);
    EXPECT_EQ(Names(account),
              (Names_t{u"ae", u"ai", u"d", u"desc", u"i", u"id", u"name", u"type"}));

    TQVCFFolder list;
    for (int i = 0; i <= 20; ++i) {
        std::u16string name;
        for (char c : std::to_string(i))
            name += static_cast<char16_t>(c);
        list.AddFolder(name);
    }
    EXPECT_EQ(Names(list),
              (Names_t{u"0",  u"1", u"10", u"11", u"12", u"13", u"14", u"15", u"16", u"17", u"18",
                       u"19", u"2", u"20", u"3",  u"4",  u"5",  u"6",  u"7",  u"8",  u"9"}));

    // Names equal but for case stay in the order they were added, as after a stable sort, both
    // when added and when read back.
    TQVCFFolder same;
    same.NewFile(u"x").Data = "1";
    same.NewFile(u"b").Data = "-";
    same.NewFile(u"X").Data = "2";
    EXPECT_EQ(same.AddFile(u"x"), 3);
    EXPECT_EQ(DataOf(same), "-12");
    TQVCFFolder loaded;
    ASSERT_EQ(Load(loaded, FolderItem(u"", {FileItem(u"X", "2"), FileItem(u"b", "-"),
                                            FileItem(u"x", "1")})),
              "ok");
    EXPECT_EQ(DataOf(loaded), "-21");

    // ASCII letters fold to upper case, so "_" (0x5F) sorts after every letter.
    EXPECT_GT(TQVCFFolder::CompareNames(u"_", u"a"), 0);
    EXPECT_LT(TQVCFFolder::CompareNames(u"ab", u"ABC"), 0);
    EXPECT_EQ(TQVCFFolder::CompareNames(u"a\0b"s, u"A"), 0);
}

TEST(CFItemTest, UnsortedFolderKeepsItsOrder) {
    using Names_t = std::vector<std::u16string>;
    TQVCFFolder folder;
    folder.SetSorted(false);
    EXPECT_EQ(folder.AddFile(u"b"), 0);
    EXPECT_EQ(folder.AddFile(u"a"), 1);
    EXPECT_EQ(folder.AddFolder(u"c"), 2);
    EXPECT_EQ(Names(folder), (Names_t{u"b", u"a", u"c"}));
    const std::string bytes = folder.Encode();

    folder.SetSorted(true);
    EXPECT_EQ(Names(folder), (Names_t{u"c", u"a", u"b"}));
    folder.SetSorted(false);
    folder.AddFile(u"0");
    EXPECT_EQ(Names(folder), (Names_t{u"c", u"a", u"b", u"0"}));

    TQVCFFolder root;
    root.SetSorted(false);
    ASSERT_EQ(Load(root, bytes), "ok");
    EXPECT_EQ(Names(root), (Names_t{u"b", u"a", u"c"}));
}

TEST(CFItemTest, NamesCompareByTheirUtf8Bytes) {
    // UTF-16 puts the surrogates (U+D800..DFFF) before U+E000; UTF-8 puts U+10000 and above last.
    TQVCFFolder folder;
    for (const char16_t* name : {u"\U0001F600", u"\uFF01", u"\uE000", u"z", u"\u00E9"})
        folder.AddFile(name);
    EXPECT_EQ(Names(folder),
              (std::vector<std::u16string>{u"z", u"\u00E9", u"\uE000", u"\uFF01", u"\U0001F600"}));
    EXPECT_EQ(folder.FindItem(u"\U0001F600", false), folder.GetItem(4));

    TQVCFFolder loaded;
    ASSERT_EQ(Load(loaded, folder.Encode()), "ok");
    EXPECT_EQ(Names(loaded), Names(folder));
}

TEST(CFItemTest, FindItem) {
    TQVCFFolder root;
    TQVCFFile& type = root.NewFile(u"type");
    TQVCFFile& x = root.NewFile(u"x");
    TQVCFFile& rootA = root.NewFile(u"a");
    TQVCFFolder& sub = root.NewFolder(u"Sub");
    TQVCFFile& subA = sub.NewFile(u"a");

    EXPECT_EQ(root.FindItem(u"TYPE", false), &type);
    EXPECT_EQ(root.FindItem(u"sub", false), &sub);
    EXPECT_EQ(root.FindItem(u"sub/", false), &sub);
    EXPECT_EQ(root.FindItem(u"SUB/A", false), &subA);
    EXPECT_EQ(sub.FindItem(u"../a", false), &rootA);
    EXPECT_EQ(sub.FindItem(u"./a", false), &subA);
    EXPECT_EQ(sub.FindItem(u"/a", false), &rootA);
    EXPECT_EQ(root.FindItem(u"../a", false), &rootA);
    EXPECT_EQ(root.FindItem(u"sub//a", false), &rootA);
    EXPECT_EQ(root.FindItem(u"", false), nullptr);
    EXPECT_EQ(root.FindItem(u"/", false), nullptr);
    EXPECT_EQ(root.FindItem(u"..", false), nullptr);
    EXPECT_EQ(root.FindItem(u"x/y", false), nullptr);
    EXPECT_EQ(root.FindItem(u"none/a", false), nullptr);
    EXPECT_EQ(root.Count(), 4);

    EXPECT_EQ(root.FindItem(u"", true), &root);
    EXPECT_EQ(sub.FindItem(u"", true), &sub);
    EXPECT_EQ(sub.FindItem(u"/", true), &root);
    EXPECT_EQ(root.Count(), 4);

    // A file is passed over when a folder is wanted: a folder "x" is made beside it.
    TQVCFItem* y = root.FindItem(u"x/y", true);
    ASSERT_NE(dynamic_cast<TQVCFFile*>(y), nullptr);
    EXPECT_EQ(y->Name, u"y");
    ASSERT_NE(y->Parent(), nullptr);
    EXPECT_EQ(y->Parent()->Name, u"x");
    EXPECT_EQ(y->Parent()->Parent(), &root);
    EXPECT_EQ(root.FindItem(u"x", false), y->Parent()); // the folder sorts first
    EXPECT_EQ(root.Count(), 5);
    EXPECT_EQ(x.Parent(), &root);

    // ".." is a name unless a "/" follows it.
    TQVCFItem* dots = sub.FindItem(u"..", true);
    ASSERT_NE(dynamic_cast<TQVCFFile*>(dots), nullptr);
    EXPECT_EQ(dots->Name, u"..");
    EXPECT_EQ(dots->Parent(), &sub);

    TQVCFItem* r = root.FindItem(u"p/q/r", true);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(root.FindItem(u"p/q/", true), r->Parent());
    EXPECT_EQ(root.FindItem(u"P/Q/R", false), r);

    EXPECT_THROW(root.GetItem(-1), EListError);
    EXPECT_THROW(root.GetItem(root.Count()), EListError);
}

TEST(CFItemTest, FolderNestingLimit) {
    // The root reads at depth 0; each folder below it one deeper.
    auto chain = [](int folders) {
        TQVCFFolder root;
        TQVCFFolder* folder = &root;
        for (int i = 0; i < folders; ++i)
            folder = &folder->NewFolder(u"n");
        folder->NewFile(u"leaf").Data = "deep";
        return root.Encode();
    };
    TQVCFFolder root;
    ASSERT_EQ(Load(root, chain(CFMaxFolderDepth - 1)), "ok");
    std::u16string path;
    for (int i = 0; i < CFMaxFolderDepth - 1; ++i)
        path += u"n/";
    auto* leaf = dynamic_cast<TQVCFFile*>(root.FindItem(path + u"leaf", false));
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->Data, "deep");

    EXPECT_EQ(Load(chain(CFMaxFolderDepth)), "Invalid CF file");
}
