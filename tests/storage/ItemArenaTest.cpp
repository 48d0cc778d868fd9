// The cheaper item tree: folders read from a file keep their children encoded until asked, files
// are looked up in the encoding itself, and writers' items find their sorted places in one sort.
// None of it may show: every answer must be the one the fully built tree gives.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "storage/QVBase.h"
#include "storage/QVCFItem.h"
#include "storage/QVException.h"
#include "support/Outcome.h"

using namespace std::string_literals;

namespace {

// Every folder's items in its order, with the files' data.
std::string Dump(const TQVCFFolder& folder, const std::string& path = "/") {
    std::string line = path + ":", below;
    for (int i = 0; i < folder.Count(); ++i) {
        const TQVCFItem* item = folder.GetItem(i);
        const std::string name = QVBase::WideToBytes(item->Name);
        if (item->IsFolder()) {
            line += " [" + name + "]";
            below += Dump(static_cast<const TQVCFFolder&>(*item), path + name + "/");
        } else {
            line += " " + name + "=" + static_cast<const TQVCFFile*>(item)->Data;
        }
    }
    return line + "\n" + below;
}

// The element at `p` of a plain encoding: its tag and content; moves `p` past it.
std::string Element(const std::string& bytes, std::size_t& p, std::uint8_t& tag) {
    tag = static_cast<std::uint8_t>(bytes[p++]);
    std::size_t length = static_cast<std::uint8_t>(bytes[p++]);
    if (length >= 0x80) {
        const std::size_t octets = length - 0x80;
        length = 0;
        for (std::size_t i = 0; i < octets; ++i)
            length = length << 8 | static_cast<std::uint8_t>(bytes[p++]);
    }
    p += length;
    return bytes.substr(p - length, length);
}

std::string Long(std::uint8_t tag, const std::string& content) {
    std::string out(1, static_cast<char>(tag));
    out.push_back('\x88');
    for (int i = 7; i >= 0; --i)
        out.push_back(static_cast<char>(content.size() >> (8 * i)));
    return out + content;
}

// The same item with every length in the eight-octet form, which only the general reader takes:
// the reference for the reader that keeps folders encoded.
std::string Relength(const std::string& item) {
    std::size_t p = 0;
    std::uint8_t tag;
    const std::string body = Element(item, p, tag);
    p = 0;
    const std::string type = Element(body, p, tag);
    const std::string names = Element(body, p, tag);
    std::string content = Element(body, p, tag), children;
    std::size_t q = 0;
    const std::string inner = Element(content, q, tag);
    if (type == "d") {
        for (std::size_t c = 0; c < inner.size();)
            children += Long(0x04, Relength(Element(inner, c, tag)));
        content = Long(0x30, children);
    } else {
        content = Long(0x04, inner);
    }
    std::size_t n = 0;
    const std::string name = names.empty() ? "" : Long(0x1E, Element(names, n, tag));
    return Long(0x30, Long(0x06, type) + Long(0x30, name) + Long(0x04, content));
}

// Names that sort and match in every way the rules know: letters of either case, a zero unit
// that ends the name, surrogates, a folder and a file under one name, repeated names.
const std::vector<std::u16string> Names = {u"type",  u"Type",       u"sum",    u"date", u"a", u"A",
                                           u"a\0b"s, u"\U0001F600", u"\uFF01", u"_",    u"",  u"z",
                                           u"name",  u"pname",      u"lid",    u"x/y",  u".."};

// A tree holding every name above as files and folders, in a shuffled order of adding.
void Fill(TQVCFFolder& root, std::mt19937& rng, int depth) {
    std::vector<std::u16string> names = Names;
    std::shuffle(names.begin(), names.end(), rng);
    for (const auto& name : names) {
        if (rng() % 3 == 0 && depth < 3)
            Fill(root.NewFolder(name), rng, depth + 1);
        else
            root.NewFile(name).Data = "d" + std::to_string(rng() % 100);
    }
}

} // namespace

TEST(ItemArenaTest, ReadLazilyReadsAlike) {
    std::mt19937 rng(11);
    for (int round = 0; round < 20; ++round) {
        TQVCFFolder built;
        Fill(built, rng, 0);
        const std::string bytes = built.Encode();
        const std::string general = Relength(bytes);
        // Read whole by the general reader, from a copy of the caller's bytes, and from bytes
        // the tree keeps.
        TQVCFFolder whole, copied, kept;
        whole.LoadFromBuffer(reinterpret_cast<const std::uint8_t*>(general.data()),
                             static_cast<std::uint32_t>(general.size()));
        copied.LoadFromBuffer(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                              static_cast<std::uint32_t>(bytes.size()));
        kept.LoadFromBytes(bytes);
        // Looked up before anything is built, then compared item by item.
        for (const auto& name : Names) {
            std::string_view data;
            const bool found = kept.FindFileData(name, data);
            const auto* file = dynamic_cast<const TQVCFFile*>(whole.FindItem(name, false));
            ASSERT_EQ(found, file != nullptr) << QVBase::WideToBytes(name);
            if (found) {
                EXPECT_EQ(data, file->Data);
            }
        }
        const std::string expected = Dump(whole);
        EXPECT_EQ(Dump(copied), expected);
        EXPECT_EQ(Dump(kept), expected);
        EXPECT_EQ(kept.Encode(), whole.Encode());
    }
}

// Look-ups in a folder read from a file give FindItem's answer before and after its items exist.
TEST(ItemArenaTest, FileLookupMatchesFindItem) {
    TQVCFFolder built;
    TQVCFFolder& sub = built.NewFolder(u"sub");
    sub.NewFile(u"X").Data = "first";
    sub.NewFile(u"x").Data = "second";
    sub.NewFolder(u"both");
    sub.NewFile(u"both").Data = "hidden by the folder";
    sub.NewFile(u"\U0001F600").Data = "wide";
    sub.NewFile(u"cut\0off"s).Data = "zero";
    sub.NewFolder(u"deeper").NewFile(u"leaf").Data = "deep";
    TQVCFFolder loaded;
    loaded.LoadFromBytes(built.Encode());
    auto* packed = static_cast<TQVCFFolder*>(loaded.FindItem(u"sub", false));
    ASSERT_NE(packed, nullptr);

    const struct {
        std::u16string name;
        const char* data; // null: no file
    } cases[] = {{u"x", "first"},          {u"X", "first"},        {u"both", nullptr},
                 {u"\U0001F600", "wide"},  {u"cut", "zero"},       {u"CUT\0more"s, "zero"},
                 {u"deeper/leaf", "deep"}, {u"../sub/x", "first"}, {u"deeper", nullptr},
                 {u"", nullptr},           {u"none", nullptr},     {u"cu", nullptr}};
    for (bool items : {false, true}) {
        if (items) {
            ASSERT_EQ(packed->Count(), 7); // builds its items
        }
        for (const auto& c : cases) {
            std::string_view data;
            const bool found = packed->FindFileData(c.name, data);
            EXPECT_EQ(found, c.data != nullptr) << QVBase::WideToBytes(c.name) << items;
            if (found && c.data != nullptr) {
                EXPECT_EQ(data, c.data);
            }
        }
    }
}

// Items added by NewFile and NewFolder end up where AddFile and AddFolder put them, equal names in
// the order of adding; items added to a folder read from a file join its read items.
TEST(ItemArenaTest, DeferredOrderIsTheInsertedOrder) {
    std::mt19937 rng(5);
    TQVCFFolder inserted, appended;
    for (int i = 0; i < 300; ++i) {
        const std::u16string& name = Names[rng() % Names.size()];
        const bool folder = rng() % 4 == 0;
        const std::string data = std::to_string(i);
        if (folder) {
            static_cast<TQVCFFolder*>(inserted.GetItem(inserted.AddFolder(name)))
                ->NewFile(u"n")
                .Data = data;
            appended.NewFolder(name).NewFile(u"n").Data = data;
        } else {
            static_cast<TQVCFFile*>(inserted.GetItem(inserted.AddFile(name)))->Data = data;
            appended.NewFile(name).Data = data;
        }
        if (i % 50 == 0) { // a look in between settles the order so far
            EXPECT_EQ(Dump(appended), Dump(inserted));
        }
    }
    EXPECT_EQ(Dump(appended), Dump(inserted));
    EXPECT_EQ(appended.Encode(), inserted.Encode());

    TQVCFFolder loaded, whole;
    const std::string bytes = inserted.Encode(), general = Relength(bytes);
    loaded.LoadFromBytes(bytes);
    whole.LoadFromBuffer(reinterpret_cast<const std::uint8_t*>(general.data()),
                         static_cast<std::uint32_t>(general.size()));
    for (TQVCFFolder* folder : {&loaded, &whole}) {
        folder->NewFile(u"b").Data = "new";
        static_cast<TQVCFFolder*>(folder->FindItem(u"a", false))->NewFile(u"0").Data = "new";
    }
    EXPECT_EQ(Dump(loaded), Dump(whole));
}

// A fault anywhere below is reported by the load itself, as the fully built reader reports it;
// a tree can be cleared and read again, also from bytes it holds itself.
TEST(ItemArenaTest, FaultsShowAtLoadAndTreesReload) {
    TQVCFFolder built;
    TQVCFFolder* folder = &built;
    for (int i = 0; i < 5; ++i)
        folder = &folder->NewFolder(u"n");
    folder->NewFile(u"leaf").Data = "x";
    std::string bytes = built.Encode();
    // The innermost type tag "f" becomes "g".
    const std::size_t leaf = bytes.rfind("\x06\x01\x66"s);
    ASSERT_NE(leaf, std::string::npos);
    std::string bad = bytes;
    bad[leaf + 2] = 'g';
    TQVCFFolder failed;
    EXPECT_EQ(Outcome<EPACFError>([&] { failed.LoadFromBytes(bad); }), "Unknown CF item type");

    TQVCFFolder reread;
    for (int i = 0; i < 3; ++i) {
        reread.LoadFromBytes(bytes);
        EXPECT_EQ(Dump(reread), Dump(built));
        reread.Clear();
        EXPECT_EQ(reread.Count(), 0);
    }
    reread.LoadFromBytes(bytes);
    const auto* sub = static_cast<TQVCFFolder*>(reread.FindItem(u"n", false));
    const std::string inner = sub->Encode(), innerDump = Dump(*sub);
    // The bytes passed in belong to the tree being read into.
    std::string_view view;
    reread.NewFile(u"self").Data = inner;
    ASSERT_TRUE(reread.FindFileData(u"self", view));
    reread.LoadFromBuffer(reinterpret_cast<const std::uint8_t*>(view.data()),
                          static_cast<std::uint32_t>(view.size()));
    EXPECT_EQ(Dump(reread), innerDump);
    reread.LoadFromBytes(bytes);
    ASSERT_TRUE(reread.FindFileData(u"n/n/n/n/n/leaf", view));
    EXPECT_EQ(view, "x");
}
