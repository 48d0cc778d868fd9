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
// that ends the name, surrogates, a folder and a file under one name, repeated names, names that
// share their first four units, paths.
const std::vector<std::u16string> Names = {
    u"type", u"Type", u"sum", u"date", u"dates", u"a",   u"A",   u"a\0b"s, u"\U0001F600", u"\uFF01",
    u"_",    u"",     u"z",   u"name", u"pname", u"lid", u"x/y", u"pa/th", u"names/",     u".."};

// Simple names (plain text, no "/", not empty), whose look-ups take a shorter way, and sets that
// have one other name besides.
const std::vector<std::u16string> Simple = {u"type", u"Type", u"sum", u"date", u"dates", u"a",
                                            u"A",    u"_",    u"z",   u"name", u"pname"};

std::vector<std::u16string> With(std::u16string name) {
    std::vector<std::u16string> names = Simple;
    names.push_back(std::move(name));
    return names;
}

std::u16string Upper(std::u16string name) {
    for (char16_t& c : name)
        c = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
    return name;
}

// A tree holding every name given as files and folders, in a shuffled order of adding. Folders
// at depths below `sortedFrom` keep that order.
void Fill(TQVCFFolder& root, const std::vector<std::u16string>& given, int sortedFrom,
          std::mt19937& rng, int depth) {
    root.SetSorted(depth >= sortedFrom);
    std::vector<std::u16string> names = given;
    std::shuffle(names.begin(), names.end(), rng);
    for (const auto& name : names) {
        if (rng() % 3 == 0 && depth < 3)
            Fill(root.NewFolder(name), given, sortedFrom, rng, depth + 1);
        else
            root.NewFile(name).Data = "d" + std::to_string(rng() % 100);
    }
}

// Every name, as given, in capitals and cut at a zero unit, asked of the folder `ask` gives
// (afresh each time, as a path builds the folder's items), finds what it finds in `built`.
template <class Ask> void ExpectLookupsAlike(Ask ask, TQVCFFolder& built) {
    std::vector<std::u16string> askedNames;
    for (const auto& name : Names) {
        for (const std::u16string& asked : {name, name + u"\0x"s, Upper(name)}) {
            askedNames.push_back(asked);
            std::string_view data;
            const bool found = ask().FindFileData(asked, data);
            const auto* file = dynamic_cast<const TQVCFFile*>(built.FindItem(asked, false));
            ASSERT_EQ(found, file != nullptr) << QVBase::WideToBytes(asked);
            if (found) {
                EXPECT_EQ(data, file->Data);
            }
        }
    }
    // Looked up together, in sets that mix every kind of name and repeat some, each name gets
    // the answer it gets alone.
    const std::size_t most = TQVCFFolder::TNameSet::MaxNames;
    for (std::size_t first = 0; first < askedNames.size(); first += most - 2) {
        std::vector<std::u16string_view> set(askedNames.begin() + first,
                                             askedNames.begin() +
                                                 std::min(first + most, askedNames.size()));
        set.push_back(askedNames[first]);
        set.resize(std::min(set.size(), most));
        std::string_view data[most];
        bool found[most];
        ask().FindFilesData(TQVCFFolder::TNameSet(set.data(), set.size()), data, found);
        // Taken before the next ask, which may read the folder again.
        const std::vector<std::string> together(data, data + set.size());
        for (std::size_t i = 0; i < set.size(); ++i) {
            std::string_view alone;
            ASSERT_EQ(found[i], ask().FindFileData(set[i], alone))
                << QVBase::WideToBytes(std::u16string(set[i]));
            if (found[i]) {
                EXPECT_EQ(together[i], alone);
            }
        }
    }
}

} // namespace

TEST(ItemArenaTest, ReadLazilyReadsAlike) {
    // Odd names; simple names sorted, sorted below an unsorted root (as a budget is written),
    // unsorted; simple names with one odd name among them.
    struct TKind {
        std::vector<std::u16string> Names;
        int SortedFrom;
    };
    const TKind kinds[] = {{Names, 0},           {Simple, 0},       {Simple, 1},
                           {Simple, 9},          {With(u"x/y"), 0}, {With(u"pa/th"), 0},
                           {With(u"names/"), 0}, {With(u""), 0},    {With(u"a\0b"s), 0}};
    std::mt19937 rng(11);
    for (int round = 0; round < 45; ++round) {
        const TKind& kind = kinds[round % std::size(kinds)];
        TQVCFFolder built;
        Fill(built, kind.Names, kind.SortedFrom, rng, 0);
        const std::string general = LongForm(built);
        // The kept bytes, in later rounds, have long-form lengths where one octet would do.
        std::string bytes = built.Encode();
        if (const int form = round / static_cast<int>(std::size(kinds)) % 3; form > 0) {
            TUseForm use(form == 1 ? Form::Padded : Form::Mixed);
            bytes = Built(built);
        }
        // Read whole by the general reader, from a copy of the caller's bytes, and from bytes
        // the tree keeps.
        TQVCFFolder whole, copied, kept;
        LoadBuffer(whole, general);
        LoadBuffer(copied, bytes);
        kept.LoadFromBytes(bytes);
        // Looked up before anything is built, in views of the sub-folders and in the tree, and
        // again after.
        std::vector<TQVCFFolder::TPackedFolder> folders;
        ASSERT_TRUE(kept.PackedFolders(folders));
        for (const auto& folder : folders) {
            TQVCFFolder view, unpacked;
            kept.ViewFolder(folder, unpacked);
            unpacked.Count();
            ExpectLookupsAlike(
                [&]() -> const TQVCFFolder& {
                    kept.ViewFolder(folder, view);
                    return view;
                },
                unpacked);
        }
        ExpectLookupsAlike(
            [&]() -> const TQVCFFolder& {
                kept.LoadFromBytes(bytes);
                return kept;
            },
            whole);
        const std::string expected = DumpTree(whole);
        EXPECT_EQ(DumpTree(copied), expected);
        EXPECT_EQ(DumpTree(kept), expected);
        EXPECT_EQ(kept.Encode(), whole.Encode());
        ExpectLookupsAlike([&]() -> const TQVCFFolder& { return kept; }, whole);
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

// A list drained from a file's bytes shows every folder once, as it was written, and leaves the
// list empty and everything beside it readable, also when the reader stops with an error.
TEST(ItemArenaTest, DrainedListShowsEachFolderOnceAndSparesItsNeighbours) {
    TQVCFFolder built;
    built.SetSorted(false); // as a budget's root: "a" before the list, "z" after
    built.NewFile(u"a").Data = "before";
    TQVCFFolder& list = built.NewFolder(u"m");
    std::mt19937 rng(5);
    for (int i = 0; i < 40; ++i) {
        const std::string digits = std::to_string(i);
        TQVCFFolder& item = list.NewFolder(std::u16string(digits.begin(), digits.end()));
        item.NewFile(u"v").Data = std::string(60 * 1024 + rng() % 90000, static_cast<char>(i));
        item.NewFolder(u"sub").NewFile(u"w").Data = std::to_string(i);
    }
    built.NewFolder(u"z").NewFile(u"after").Data = "after";
    const std::string bytes = built.Encode();
    ASSERT_GT(bytes.size(), 4u << 20); // several of the largest pages

    for (const int stopAt : {-1, 17}) {
        SCOPED_TRACE(stopAt);
        TQVCFFolder kept;
        kept.LoadFromBytes(bytes);
        auto* drained = static_cast<TQVCFFolder*>(kept.FindItem(u"m", false));
        std::vector<TQVCFFolder::TPackedFolder> folders;
        ASSERT_TRUE(drained->PackedFolders(folders));
        std::vector<int> seen(folders.size());
        const std::uint8_t* last = nullptr;
        const auto visit = [&](std::size_t index, TQVCFFolder& view) {
            ++seen.at(index);
            EXPECT_LT(last, folders[index].Content) << "not in the order stored";
            last = folders[index].Content;
            const auto* original = static_cast<TQVCFFolder*>(list.FindItem(view.Name, false));
            ASSERT_NE(original, nullptr);
            EXPECT_EQ(DumpTree(view), DumpTree(*original));
            if (static_cast<int>(index) == stopAt)
                throw EListError("stop");
        };
        if (stopAt < 0) {
            drained->DrainFolders(folders, visit);
            EXPECT_EQ(seen, std::vector<int>(folders.size(), 1));
        } else {
            EXPECT_EQ(Outcome<EListError>([&] { drained->DrainFolders(folders, visit); }), "stop");
        }
        EXPECT_EQ(drained->Count(), 0);
        std::string_view data;
        ASSERT_TRUE(kept.FindFileData(u"a", data));
        EXPECT_EQ(data, "before");
        ASSERT_TRUE(kept.FindFileData(u"z/after", data));
        EXPECT_EQ(data, "after");
    }

    // Only a folder's own encoded sub-folders can be drained.
    TQVCFFolder kept;
    kept.LoadFromBytes(bytes);
    auto* drained = static_cast<TQVCFFolder*>(kept.FindItem(u"m", false));
    std::vector<TQVCFFolder::TPackedFolder> folders;
    ASSERT_TRUE(drained->PackedFolders(folders));
    const auto none = [](std::size_t, TQVCFFolder&) { FAIL() << "visited"; };
    auto* other = static_cast<TQVCFFolder*>(kept.FindItem(u"z", false));
    EXPECT_EQ(Outcome<EPACFError>([&] { other->DrainFolders(folders, none); }), "Internal error");
    EXPECT_EQ(Outcome<EPACFError>([&] { list.DrainFolders({}, none); }), "Internal error");
    EXPECT_EQ(DumpTree(*drained), DumpTree(list));
}
