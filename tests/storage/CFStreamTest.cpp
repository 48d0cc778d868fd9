#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "platform/Stream.h"
#include "storage/QVException.h"
#include "storage/container/QVCFBlockSink.h"
#include "storage/container/QVCFItem.h"
#include "storage/container/QVCFStream.h"
#include "storage/container/QVCFWriter.h"
#include "storage/container/QVCompoundFile.h"
#include "support/Bytes.h"
#include "support/CryptoOracle.h"
#include "support/FullStream.h"
#include "support/Outcome.h"

namespace {

using TWriteRoot = TQVCFStreamedBody::TWriteRoot;

constexpr char16_t LoneSurrogate[] = {0xD800, 0};

std::u16string IndexName(int index) {
    char16_t units[QVCFList::MaxNameUnits];
    return {units, QVCFList::IndexName(index, units)};
}

// The root a writer fills, encoded from an item tree.
std::string TreeBody(const TWriteRoot& write) {
    TQVCFFolder root;
    root.SetSorted(false);
    TQVCFTreeWriter writer(root);
    write(writer);
    return root.Encode();
}

std::string StreamedBody(const TWriteRoot& write) {
    const TQVCFStreamedBody body(write);
    TMemoryStream stream;
    TQVCFBlockSink sink(stream, nullptr);
    body.WriteTo(sink);
    sink.Finish();
    EXPECT_EQ(body.Size(), stream.Data().size());
    return stream.Data();
}

// Every shape an item tree can take under a writer: names that sort case-blind, through their
// narrow forms or not at all apart (kept in written order), data and a name longer than a
// block, folders of more than sixteen items, lists inside lists, empty and with thousands of
// folders, folders of alternating kinds, more kinds than orders are remembered, and lists that
// threads share out, at the top and inside a list of one folder.
void Shapes(TQVCFWriter& root) {
    root.File(u"zeta", "first, and the root keeps its order");
    root.Text(u"Title", u"Caf\u00e9 \U0001F600");
    root.List(u"empty", 0, [](int, TQVCFWriter&) {});
    root.List(u"names", 3, [](int index, TQVCFWriter& folder) {
        const std::u16string_view names[] = {
            u"b",      u"A",          u"a",
            u"\u00e9", u"\U0001F600", std::u16string_view(LoneSurrogate, 1),
            u"",       {u"x\0y", 3},  u"X"};
        for (const std::u16string_view name : names)
            folder.File(name, std::string(static_cast<std::size_t>(index), 'n'));
        for (int i = 20; i > 0; --i)
            folder.File(u"many" + IndexName(i), "m");
    });
    root.List(u"large", 2, [](int index, TQVCFWriter& folder) {
        std::mt19937 rng(7);
        folder.File(u"data", Noise(rng, 300000 + static_cast<std::size_t>(index)));
        if (index == 1)
            folder.Text(std::u16string(140000, u'n'), u"a name longer than a block");
    });
    root.List(u"nested", 12, [](int index, TQVCFWriter& folder) {
        folder.File(u"type", "outer");
        folder.List(u"inner", index * 3, [index](int inner, TQVCFWriter& leaf) {
            leaf.File(u"v", std::to_string(index * 1000 + inner));
            leaf.List(u"z", inner % 3, [](int, TQVCFWriter& deepest) { deepest.File(u"d", ""); });
        });
        folder.List(u"Before", 1, [](int, TQVCFWriter& one) { one.File(u"k", "folders first"); });
    });
    root.ConcurrentList(u"kinds", 1200, [](int index, TQVCFWriter& folder) {
        const int kind = index % 5;
        folder.File(kind == 0 ? u"sum" : u"date", std::to_string(index));
        folder.File(kind == 1 ? u"lid" : u"sid", "reference");
        folder.Text(u"name", kind == 2 ? u"" : u"text");
        if (kind == 3)
            folder.File(u"did", "3");
        if (kind == 4)
            folder.List(u"own", 2, [](int, TQVCFWriter& own) { own.File(u"o", "4"); });
        folder.File(u"type", "flow");
    });
    root.ConcurrentList(u"single", 1, [](int, TQVCFWriter& folder) {
        folder.ConcurrentList(u"inner", 500, [](int index, TQVCFWriter& leaf) {
            leaf.File(u"i", std::string(static_cast<std::size_t>(index % 7), 'i'));
        });
    });
    root.File(u"alpha", "last");
}

} // namespace

// The folders of a list are visited in the order their names sort in a folder, which the
// streamed encoding relies on to write them as they come.
TEST(CFStreamTest, ListFoldersComeInTheirSortedOrder) {
    for (const int count :
         {0, 1, 2, 9, 10, 11, 19, 20, 99, 100, 101, 110, 999, 1000, 1001, 12345}) {
        std::vector<int> sorted(static_cast<std::size_t>(count));
        std::iota(sorted.begin(), sorted.end(), 0);
        std::stable_sort(sorted.begin(), sorted.end(), [](int a, int b) {
            return TQVCFFolder::CompareNames(IndexName(a), IndexName(b)) < 0;
        });
        std::vector<int> visited;
        QVCFList::ForEachIndex(count, [&](int index) { visited.push_back(index); });
        EXPECT_EQ(visited, sorted) << count;
    }
    EXPECT_EQ(IndexName(2147483647), u"2147483647");
}

// Streamed, a body has the bytes of the tree the same writer fills, whatever it writes.
TEST(CFStreamTest, StreamedBodyIsTheTreesEncoding) {
    const std::vector<std::pair<const char*, TWriteRoot>> writers = {
        {"nothing", [](TQVCFWriter&) {}},
        {"one file", [](TQVCFWriter& root) { root.File(u"id", "QV"); }},
        {"every shape", Shapes},
    };
    for (const auto& [what, write] : writers)
        EXPECT_EQ(StreamedBody(write), TreeBody(write)) << what;
}

// The whole container: the same bytes unprotected; protected, the same head and, under each
// file's own IV, the same body, which reads back.
TEST(CFStreamTest, StreamedContainerIsTheTreeContainer) {
    const TQVCFStreamedBody body(Shapes);
    for (const bool locked : {false, true}) {
        TQVCompoundFile tree;
        tree.Info = "budget id";
        tree.Protected = locked;
        tree.OnPassword = [](TQVCompoundFile&, TSecret& password, bool&) { password = "secret"; };
        tree.Root().SetSorted(false);
        TQVCFTreeWriter writer(tree.Root());
        Shapes(writer);
        TMemoryStream fromTree, streamed;
        tree.SaveToStream(fromTree);
        tree.SaveToStream(streamed, body);
        const std::string& a = fromTree.Data();
        const std::string& b = streamed.Data();
        ASSERT_EQ(a.size(), b.size());
        if (!locked) {
            EXPECT_EQ(a, b);
            continue;
        }
        const std::size_t head = 20 + 4 + tree.Info.size();
        EXPECT_EQ(a.substr(0, head), b.substr(0, head));
        const std::string plain = Oracle::PlainBody(b, head, "secret");
        EXPECT_EQ(plain, Oracle::PlainBody(a, head, "secret"));
        EXPECT_EQ(plain, TreeBody(Shapes));
        const auto read = [&](const std::string& bytes) {
            TQVCompoundFile copy;
            copy.OnPassword = tree.OnPassword;
            TMemoryStream stream(bytes);
            copy.LoadFromStream(stream);
            return copy.Root().Encode();
        };
        EXPECT_EQ(read(b), read(a));
    }
}

// A writer that writes something else the second time would leave wrong lengths behind it: the
// save stops instead.
TEST(CFStreamTest, WriterThatChangesBetweenRunsIsRefused) {
    const std::vector<std::pair<const char*, std::function<void(TQVCFWriter&, int)>>> changes = {
        {"longer data", [](TQVCFWriter& root, int run) { root.File(u"a", std::string(run, 'x')); }},
        {"another item",
         [](TQVCFWriter& root, int run) {
             root.List(u"l", 2, [run](int index, TQVCFWriter& folder) {
                 folder.File(u"v", "1");
                 if (run == 2 && index == 1)
                     folder.File(u"w", "");
             });
         }},
        {"another list",
         [](TQVCFWriter& root, int run) {
             root.List(u"l", 1, [run](int, TQVCFWriter& folder) {
                 if (run == 2)
                     folder.List(u"x", 0, [](int, TQVCFWriter&) {});
             });
         }},
        {"fewer folders",
         [](TQVCFWriter& root, int run) {
             root.List(u"l", 3 - run, [](int, TQVCFWriter& folder) { folder.File(u"v", ""); });
         }},
    };
    for (const auto& [what, write] : changes) {
        int run = 0;
        const TQVCFStreamedBody body([&, write = write](TQVCFWriter& root) { write(root, ++run); });
        TMemoryStream stream;
        TQVCFBlockSink sink(stream, nullptr);
        EXPECT_EQ(Outcome<EPACFError>([&] { body.WriteTo(sink); }), "Internal error") << what;
    }
}

// A stream that stops taking bytes, at the head, in the first block or far into the body, ends
// the save with its error; given room enough, the same bytes arrive.
TEST(CFStreamTest, WriteErrorsAnywhereEndTheSave) {
    const TQVCFStreamedBody body(Shapes);
    TQVCompoundFile file;
    file.Protected = true;
    TMemoryStream whole;
    file.SaveToStream(whole, body);
    ASSERT_GT(whole.Size(), 3 * TQVCFBlockSink::BlockSize);
    for (const std::size_t limit :
         {std::size_t(0), std::size_t(23), std::size_t(100), TQVCFBlockSink::BlockSize,
          3 * TQVCFBlockSink::BlockSize + 5, whole.Size() - 1}) {
        TFullStream stream(limit);
        EXPECT_THROW(file.SaveToStream(stream, body), EWriteError) << limit;
    }
    TFullStream enough(whole.Size());
    file.SaveToStream(enough, body);
    EXPECT_EQ(enough.Size(), whole.Size());
}

// An error raised while threads write the folders of a list reaches the caller: the one that
// writing them in turn would have met first.
TEST(CFStreamTest, ErrorsOfSharedFoldersReachTheCaller) {
    const auto failing = [](int run, int first, int second) {
        return [=, runs = 0](TQVCFWriter& root) mutable {
            ++runs;
            root.ConcurrentList(u"l", 1000, [&](int index, TQVCFWriter& folder) {
                folder.File(u"v", "value");
                if (runs == run && (index == first || index == second))
                    throw EPACFError(std::to_string(index));
            });
        };
    };
    EXPECT_EQ(Outcome<EPACFError>([&] { TQVCFStreamedBody body(failing(1, 900, 600)); }), "600");
    EXPECT_EQ(Outcome<EPACFError>([&] { TQVCFStreamedBody body(failing(1, 99, 10)); }), "10");
    const TQVCFStreamedBody body(failing(2, 998, 3));
    TMemoryStream stream;
    TQVCFBlockSink sink(stream, nullptr);
    EXPECT_EQ(Outcome<EPACFError>([&] { body.WriteTo(sink); }), "3");
}
