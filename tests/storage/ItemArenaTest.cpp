// Folders read from a file keep their children encoded until asked, and files are looked up in
// the encoding itself; every answer must still be the one the fully built tree gives.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "storage/QVBase.h"
#include "storage/QVCFItem.h"
#include "storage/QVException.h"
#include "support/CFBuild.h"
#include "support/ItemDump.h"
#include "support/Outcome.h"

using namespace std::string_literals;

namespace {

// Names that sort and match in every way the rules know: letters of either case, a zero unit
// that ends the name, surrogates, a folder and a file under one name, repeated names.
const std::vector<std::u16string> Names = {u"type",  u"Type",       u"sum",    u"date", u"a", u"A",
                                           u"a\0b"s, u"\U0001F600", u"\uFF01", u"_",    u"",  u"z",
                                           u"name",  u"pname",      u"lid",    u"x/y",  u".."};

std::u16string Upper(std::u16string name) {
    for (char16_t& c : name)
        c = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
    return name;
}

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
        const std::string general = LongForm(built);
        // Read whole by the general reader, from a copy of the caller's bytes, and from bytes
        // the tree keeps.
        TQVCFFolder whole, copied, kept;
        LoadBuffer(whole, general);
        LoadBuffer(copied, bytes);
        kept.LoadFromBytes(bytes);
        // Looked up before anything is built and again after, with names in other case and
        // cut at a zero unit too.
        auto lookups = [&] {
            for (const auto& name : Names) {
                for (const std::u16string& asked : {name, name + u"\0x"s, Upper(name)}) {
                    std::string_view data;
                    const bool found = kept.FindFileData(asked, data);
                    const auto* file = dynamic_cast<const TQVCFFile*>(whole.FindItem(asked, false));
                    ASSERT_EQ(found, file != nullptr) << QVBase::WideToBytes(asked);
                    if (found) {
                        EXPECT_EQ(data, file->Data);
                    }
                }
            }
        };
        lookups();
        const std::string expected = DumpTree(whole);
        EXPECT_EQ(DumpTree(copied), expected);
        EXPECT_EQ(DumpTree(kept), expected);
        EXPECT_EQ(kept.Encode(), whole.Encode());
        lookups();
    }
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
    reread.LoadFromBytes(bytes);
    reread.Clear();
    EXPECT_EQ(reread.Count(), 0);
    reread.LoadFromBytes(bytes);
    EXPECT_EQ(DumpTree(reread), DumpTree(built));
    const auto* sub = static_cast<TQVCFFolder*>(reread.FindItem(u"n", false));
    const std::string inner = sub->Encode(), innerDump = DumpTree(*sub);
    // The bytes passed in belong to the tree being read into.
    std::string_view view;
    reread.NewFile(u"self").Data = inner;
    ASSERT_TRUE(reread.FindFileData(u"self", view));
    LoadBuffer(reread, view);
    EXPECT_EQ(DumpTree(reread), innerDump);
    reread.LoadFromBytes(bytes);
    ASSERT_TRUE(reread.FindFileData(u"n/n/n/n/n/leaf", view));
    EXPECT_EQ(view, "x");
}
