// A folder read through its encoding, held in memory or read in place from a file in runs,
// answers every look-up and visit as the item tree read from the same bytes does, and fails where
// and as the tree fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "platform/Stream.h"
#include "storage/QVBase.h"
#include "storage/QVUtils.h"
#include "storage/QVException.h"
#include "storage/container/QVCFBodySource.h"
#include "storage/container/QVCFInPlace.h"
#include "storage/container/QVCFItem.h"
#include "storage/container/QVCFView.h"
#include "support/CFBuild.h"
#include "support/ItemDump.h"
#include "support/Outcome.h"

using namespace std::string_literals;

namespace {

// Plain names (not empty, no "/") that sort and match in every way the rules know: letters of
// either case, a zero unit that ends the name, surrogates, a folder and a file under one name,
// repeated names, names that share their first four units.
const std::vector<std::u16string> Names = {
    u"type", u"Type",   u"sum", u"date", u"dates", u"a",   u"A",  u"a\0b"s,
    u"_",    u"\uFF01", u"z",   u"name", u"pname", u"lid", u"..", u"\U0001F600"};

// Simple names (plain text), whose look-ups take a shorter way, and sets with one other name.
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

// A tree holding every name given as files and folders, in a shuffled order of adding, with data
// of up to `data` bytes. Folders at depths below `sortedFrom` keep that order.
void Fill(TQVCFFolder& root, const std::vector<std::u16string>& given, int sortedFrom,
          std::mt19937& rng, int depth, std::size_t data = 100) {
    root.SetSorted(depth >= sortedFrom);
    std::vector<std::u16string> names = given;
    std::shuffle(names.begin(), names.end(), rng);
    for (const auto& name : names) {
        if (rng() % 3 == 0 && depth < 2)
            Fill(root.NewFolder(name), given, sortedFrom, rng, depth + 1, data);
        else
            root.NewFile(name).Data =
                std::string(rng() % data, static_cast<char>('a' + rng() % 26));
    }
}

// Every name asked of `reader` (as given, with a zero unit and more after it, in capitals),
// alone and in sets that mix every kind and repeat some, finds what FindItem finds in `tree`;
// every sub-folder is visited, in the order stored, and read alike in turn.
void ExpectReadsAlike(TQVCFReader& reader, TQVCFFolder& tree) {
    std::vector<std::u16string> asked;
    for (const auto& name : Names) {
        for (const std::u16string& variant : {name, name + u"\0x"s, Upper(name)}) {
            asked.push_back(variant);
            std::string_view data;
            const bool found = reader.File(variant, data);
            const auto* file = dynamic_cast<const TQVCFFile*>(tree.FindItem(variant, false));
            ASSERT_EQ(found, file != nullptr) << QVBase::WideToBytes(variant);
            if (found) {
                EXPECT_EQ(data, file->Data);
            }
            auto* folder = dynamic_cast<TQVCFFolder*>(tree.FindItem(variant, false));
            std::string seen = "none";
            reader.Folder(variant, [&](TQVCFReader& sub) {
                seen = "seen";
                if (folder != nullptr && variant == name)
                    ExpectReadsAlike(sub, *folder);
            });
            EXPECT_EQ(seen, folder != nullptr ? "seen" : "none") << QVBase::WideToBytes(variant);
        }
    }
    const std::size_t most = TQVCFReader::TNameSet::MaxNames;
    for (std::size_t first = 0; first < asked.size(); first += most - 2) {
        std::vector<std::u16string_view> set(asked.begin() + first,
                                             asked.begin() + std::min(first + most, asked.size()));
        set.push_back(asked[first]);
        set.resize(std::min(set.size(), most));
        std::string_view data[most];
        bool found[most];
        reader.Files(TQVCFReader::TNameSet(set.data(), set.size()), data, found);
        for (std::size_t i = 0; i < set.size(); ++i) {
            std::string_view alone;
            ASSERT_EQ(found[i], reader.File(set[i], alone));
            if (found[i]) {
                EXPECT_EQ(data[i], alone);
            }
        }
    }
    // The sub-folders as stored, sorted as the tree sorts them, are the tree's, and read alike.
    std::vector<std::pair<std::u16string, std::string>> visited;
    std::size_t last = 0;
    reader.Folders([&](std::size_t index, std::u16string_view name, TQVCFReader& sub) {
        EXPECT_TRUE(visited.empty() || index > last) << "not in the order stored";
        last = index;
        visited.emplace_back(std::u16string(name), "");
        std::vector<std::u16string> inner;
        sub.Folders([&](std::size_t, std::u16string_view child, TQVCFReader&) {
            inner.emplace_back(child);
        });
        std::stable_sort(inner.begin(), inner.end(), [](const auto& a, const auto& b) {
            return TQVCFFolder::CompareNames(a, b) < 0;
        });
        for (const std::u16string& child : inner)
            visited.back().second += QVBase::WideToBytes(child) + "/";
    });
    std::stable_sort(visited.begin(), visited.end(), [](const auto& a, const auto& b) {
        return TQVCFFolder::CompareNames(a.first, b.first) < 0;
    });
    std::vector<std::pair<std::u16string, std::string>> expected;
    for (int i = 0; i < tree.Count(); ++i) {
        if (const auto* sub = dynamic_cast<const TQVCFFolder*>(tree.GetItem(i))) {
            std::string dump;
            for (int j = 0; j < sub->Count(); ++j)
                if (sub->GetItem(j)->IsFolder())
                    dump += QVBase::WideToBytes(sub->GetItem(j)->Name) + "/";
            expected.emplace_back(sub->Name, dump);
        }
    }
    EXPECT_EQ(visited, expected);
}

// A body as an unprotected container would hold it, read in place with runs of `runBytes`;
// `visit` sees its root.
void ReadInPlace(const std::string& body, std::size_t runBytes, const TQVCFReader::TVisit& visit) {
    TMemoryStream stream(body);
    TQVCFBodySource source(stream, 0, body.size(), nullptr, nullptr);
    TQVCFInPlaceFolder::ReadRoot(source, visit, runBytes);
}

std::unique_ptr<TQVCFFolder> Tree(const std::string& bytes) {
    auto tree = std::make_unique<TQVCFFolder>();
    LoadBuffer(*tree, bytes);
    return tree;
}

} // namespace

TEST(CFReaderTest, ReadersAnswerAsTheTreeDoes) {
    struct TKind {
        std::vector<std::u16string> Names;
        int SortedFrom;
    };
    const TKind kinds[] = {{Names, 0},          {Simple, 0},      {Simple, 1},         {Simple, 9},
                           {With(u"a\0b"s), 0}, {With(u".."), 0}, {With(u"\uFF01"), 1}};
    const Form forms[] = {Form::Short, Form::Padded, Form::Mixed, Form::Long, Form::Indefinite};
    std::mt19937 rng(11);
    for (int round = 0; round < 35; ++round) {
        const TKind& kind = kinds[round % std::size(kinds)];
        const Form form = forms[round / std::size(kinds)];
        SCOPED_TRACE(round);
        TQVCFFolder built;
        Fill(built, kind.Names, kind.SortedFrom, rng, 0);
        std::string bytes;
        {
            TUseForm use(form);
            bytes = Built(built);
        }
        TQVCFFolder& tree = *Tree(bytes).release();
        const std::unique_ptr<TQVCFFolder> owned(&tree);
        // Held whole, through a view of the bytes or, in the general forms, of the tree's.
        TQVCFItemView held(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), 0);
        ExpectReadsAlike(held.Folder(), tree);
        TQVCFView::Read(tree, [&](TQVCFReader& view) { ExpectReadsAlike(view, tree); });
        // In place, every folder larger than a few dozen bytes read in runs, in every form.
        for (const std::size_t runBytes : {std::size_t{48}, std::size_t{400}, bytes.size()}) {
            SCOPED_TRACE(runBytes);
            ReadInPlace(bytes, runBytes, [&](TQVCFReader& root) { ExpectReadsAlike(root, tree); });
        }
    }
}

// A damaged item anywhere fails its read with the tree's message, whether it is met in memory or
// in place; and in place a large folder's visits see every sub-folder once, on several threads,
// until the first error, which passes on.
TEST(CFReaderTest, FaultsAreTheTreesAndVisitsMeetThemInOrder) {
    TQVCFFolder built;
    built.SetSorted(false);
    built.NewFile(u"title").Data = "before";
    TQVCFFolder& list = built.NewFolder(u"m");
    std::mt19937 rng(5);
    for (int i = 0; i < 60; ++i) {
        const std::string digits = std::to_string(i);
        TQVCFFolder& item = list.NewFolder(std::u16string(digits.begin(), digits.end()));
        // Every seventh month is too large for a run, and is read in place.
        item.NewFile(u"v").Data = std::string(i % 7 == 0 ? 4000 : 200 + rng() % 300, 'x');
        item.NewFolder(u"flows").NewFolder(u"0").NewFile(u"sum").Data = digits;
    }
    built.NewFolder(u"z").NewFile(u"after").Data = "after";
    const std::string bytes = built.Encode();

    for (const bool concurrent : {false, true}) {
        std::mutex lock;
        std::map<std::size_t, std::string> seen;
        std::string_view after;
        ReadInPlace(bytes, 1024, [&](TQVCFReader& root) {
            ASSERT_TRUE(root.Folder(u"m", [&](TQVCFReader& m) {
                m.Folders(
                    [&](std::size_t index, std::u16string_view name, TQVCFReader& month) {
                        std::string_view v;
                        ASSERT_TRUE(month.File(u"v", v));
                        std::string sum;
                        month.Folder(u"flows", [&](TQVCFReader& flows) {
                            flows.Folder(u"0", [&](TQVCFReader& flow) {
                                std::string_view data;
                                ASSERT_TRUE(flow.File(u"sum", data));
                                sum = data;
                            });
                        });
                        EXPECT_EQ(QVBase::BytesToWide(QVBase::WideToBytes(name)), name);
                        const std::lock_guard<std::mutex> hold(lock);
                        EXPECT_TRUE(
                            seen.emplace(index, sum + ":" + std::to_string(v.size())).second);
                        EXPECT_EQ(QVBase::WideToBytes(name),
                                  QVBase::WideToBytes(std::u16string(sum.begin(), sum.end())));
                    },
                    concurrent);
            }));
            ASSERT_TRUE(root.Folder(u"z", [&](TQVCFReader& z) { z.File(u"after", after); }));
            EXPECT_EQ(after, "after");
            // A visit that fails ends the visits with its error.
            EXPECT_EQ(Outcome<EListError>([&] {
                          root.Folder(u"m", [&](TQVCFReader& m) {
                              m.Folders(
                                  [](std::size_t index, std::u16string_view, TQVCFReader&) {
                                      if (index == 17)
                                          throw EListError("stop");
                                  },
                                  concurrent);
                          });
                      }),
                      "stop");
        });
        ASSERT_EQ(seen.size(), 60u);
    }

    // A file's type made unknown in a month read whole and in one read in place, a body cut
    // short, and damage in items the visits below never read: a file whose content is no OCTET
    // STRING and an unknown type, before the large folder and after it.
    const auto damage = [&bytes](std::size_t at, std::string_view was, char now) {
        std::string damaged = bytes;
        damaged[damaged.rfind(was, at) + was.size() - 1] = now;
        return damaged;
    };
    const std::size_t large = bytes.find(std::string(4000, 'x'));
    const std::size_t small = bytes.find(std::string(150, 'x'), large + 4000);
    const std::size_t title = bytes.find("before");
    const std::size_t last = bytes.find("after");
    const TErrorCase cases[] = {
        {"small month", damage(small, "\x06\x01\x66", 'g'), "Unknown CF item type"},
        {"large month", damage(large, "\x06\x01\x66", 'g'), "Unknown CF item type"},
        {"cut", bytes.substr(0, bytes.size() - 3), "CF item read error"},
        {"title not octets", damage(title, "\x04\x08\x04", '\x0C'), "Invalid CF file"},
        {"unread type", damage(last, "\x06\x01\x66", 'x'), "Unknown CF item type"},
    };
    for (const TErrorCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Outcome<EPACFError>([&] { Tree(c.bytes); }), c.message);
        for (const bool concurrent : {false, true}) {
            EXPECT_EQ(Outcome<EPACFError>([&] {
                          ReadInPlace(c.bytes, 1024, [&](TQVCFReader& root) {
                              root.Folder(u"m", [&](TQVCFReader& m) {
                                  m.Folders(
                                      [](std::size_t, std::u16string_view, TQVCFReader& month) {
                                          month.Folder(u"flows", [](TQVCFReader& flows) {
                                              flows.Folders([](std::size_t, std::u16string_view,
                                                               TQVCFReader& flow) {
                                                  std::string_view data;
                                                  flow.File(u"sum", data);
                                              });
                                          });
                                      },
                                      concurrent);
                              });
                          });
                      }),
                      c.message);
        }
    }
}

// Sub-folders are visited in the order they are stored, each with its index in that order, in
// every form and whether the folder is held or read in place.
TEST(CFReaderTest, FoldersAreVisitedInTheOrderStored) {
    for (const Form form : {Form::Short, Form::Long, Form::Indefinite}) {
        const TUseForm use(form);
        const std::string bytes =
            FolderItem(u"", {FolderItem(u"b", {FileItem(u"x", "1")}), FolderItem(u"a", {}),
                             FileItem(u"file", "2"),
                             FolderItem(u"c", {FolderItem(u"z", {}), FolderItem(u"y", {})})});
        for (const std::size_t runBytes : {std::size_t{48}, bytes.size()}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(form)) + "/" + std::to_string(runBytes));
            std::string seen;
            ReadInPlace(bytes, runBytes, [&](TQVCFReader& root) {
                root.Folders([&](std::size_t index, std::u16string_view name, TQVCFReader& sub) {
                    seen += std::to_string(index) + QVUtils::WideToAnsi(name) + " ";
                    sub.Folders([&](std::size_t inner, std::u16string_view child, TQVCFReader&) {
                        seen += std::to_string(inner) + QVUtils::WideToAnsi(child) + " ";
                    });
                });
            });
            EXPECT_EQ(seen, "0b 1a 3c 0z 1y ");
        }
    }
}
