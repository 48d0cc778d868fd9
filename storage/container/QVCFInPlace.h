#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ByteBuffer.h"
#include "storage/container/QVCFReader.h"
#include "storage/container/QVCFView.h"

class TQVCFBodySource;

// A folder of a container's body that is read where it lies in its file, for a folder too large
// to hold: its children are found by their heads, each of them read whole only when asked for,
// and its sub-folders are visited a run of them at a time, so that what an open holds is a few
// runs whatever the budget's shape. A child larger than a run is itself read in place.
//
// Only the plain definite-length form is read in place. Anything else the item tree takes is
// read through the tree, where it is small enough to be read whole; a large folder in another
// form is refused as the tree would refuse a damaged one.
class TQVCFInPlaceFolder final : public TQVCFReader {
public:
    // Items up to this size are read whole, larger ones in place; sub-folders are read in runs of
    // up to this many bytes.
    static constexpr std::size_t RunBytes = 512 * 1024;
    // Threads that build from a folder's runs at once, at most: each keeps memory of its own
    // allocator.
    static constexpr unsigned MaxBuilders = 3;

    // The root folder of the body that `source` reads: read whole when it is no larger than
    // `runBytes`, else in place, with runs of up to `runBytes` bytes. Raises EPACFError when the
    // root's head is not what a root's must be. `source` must outlive the reader.
    static std::unique_ptr<TQVCFReader> Root(const TQVCFBodySource& source,
                                             std::size_t runBytes = RunBytes);

    // The folder whose content element lies at body bytes [content, content + size), `depth`
    // folders below the root. Its head is read and checked at once.
    TQVCFInPlaceFolder(const TQVCFBodySource& source, std::uint64_t content, std::uint64_t size,
                       int depth, std::size_t runBytes = RunBytes);
    ~TQVCFInPlaceFolder() override;

    bool File(std::u16string_view name, std::string_view& data) override;
    void Files(const TNameSet& names, std::string_view* data, bool* found) override;
    bool Folder(std::u16string_view name, const TVisit& visit) override;
    void Folders(const TVisitEach& visit, bool concurrent = false) override;

private:
    // A child as its head tells it: where its item element lies, and a folder's content.
    struct THead {
        std::u16string Name;
        bool Folder = false;
        std::uint64_t Item = 0;
        std::uint64_t ItemSize = 0;
        std::uint64_t Content = 0;
        std::uint64_t ContentSize = 0;
    };
    // A child read whole, kept while the reader lives: a file's data is handed out as a view.
    struct TKept {
        std::size_t Head;
        TByteBuffer Bytes;
        std::unique_ptr<TQVCFItemView> View;
    };
    struct TRun;
    struct TRunCursor;

    void ListHeads();
    // The child FindItem would find by that name, or null.
    const THead* Find(std::u16string_view name);
    // The child at `index` of FHeads, read whole and kept.
    TQVCFItemView& Keep(std::size_t index);
    TQVCFItemView* Kept(std::size_t index);
    // The next run of children from the cursor on; false after the last.
    bool MakeRun(TRunCursor& cursor, TRun& run) const;
    void BuildRun(TRun& run, const TVisitEach& visit) const;

    const TQVCFBodySource& FSource;
    // The children's elements lie at [FChildren, FEnd).
    std::uint64_t FChildren = 0;
    std::uint64_t FEnd = 0;
    int FDepth;
    std::size_t FRunBytes;
    std::vector<THead> FHeads;
    bool FListed = false;
    std::vector<TKept> FKept;
};
