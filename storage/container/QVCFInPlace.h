#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ByteBuffer.h"
#include "storage/container/QVCFReader.h"
#include "storage/container/QVCFView.h"

class TQVCFBodySource;

// A folder of a container's body that is read where it lies in its file, for a folder too large
// to hold: its children are found by their heads, each of them read whole only when asked for,
// and its sub-folders are visited a run of them at a time, so that what an open holds is a few
// runs whatever the budget's shape. A child larger than a run is itself read in place. Every form
// of the item encoding is read, at any size.
//
// Whatever no look-up or visit reads is read by CheckUnread, so that a damaged item anywhere
// fails the read as a read of the whole body fails, and the body is still read once.
class TQVCFInPlaceFolder final : public TQVCFReader {
public:
    // Items up to this size are read whole, larger ones in place; sub-folders are read in runs of
    // up to this many bytes.
    static constexpr std::size_t RunBytes = 512 * 1024;
    // Threads that build from a folder's runs at once, at most: each keeps memory of its own
    // allocator.
    static constexpr unsigned MaxBuilders = 3;

    // Calls `visit` with the root folder of the body that `source` reads: read whole when it is
    // no larger than `runBytes`, else in place, with runs of up to `runBytes` bytes; then checks
    // what the visit left unread.
    static void ReadRoot(const TQVCFBodySource& source, const TVisit& visit,
                         std::size_t runBytes = RunBytes);

    // The folder whose content element is body bytes [content, content + size), `depth` folders
    // below the root.
    TQVCFInPlaceFolder(const TQVCFBodySource& source, std::uint64_t content, std::uint64_t size,
                       int depth, std::size_t runBytes = RunBytes);
    ~TQVCFInPlaceFolder() override;

    bool File(std::u16string_view name, std::string_view& data) override;
    void Files(const TNameSet& names, std::string_view* data, bool* found) override;
    bool Folder(std::u16string_view name, const TVisit& visit) override;
    void Folders(const TVisitEach& visit, bool concurrent = false) override;

    // Reads every child that no look-up or visit has read, down to its last item, and raises
    // what a read of it whole raises.
    void CheckUnread();

private:
    // A child as its head tells it: where its item element lies, and its content.
    struct THead {
        std::u16string Name;
        bool Folder = false;
        bool Read = false;
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
    struct TChildRun;
    struct TRunCursor;

    void ListHeads();
    // The child FindItem would find by that name, or null.
    THead* Find(std::u16string_view name);
    // The child at `index` of FHeads, read whole and kept.
    TQVCFItemView& Keep(std::size_t index);
    TQVCFItemView* Kept(std::size_t index);
    // A child too large to read whole, in place: a folder visited and then checked to its end,
    // a file's content checked.
    void ReadLarge(const THead& head, const TVisit& visit) const;
    // The next run of children from the cursor on; false after the last.
    bool MakeRun(TRunCursor& cursor, TChildRun& run) const;
    void BuildRun(TChildRun& run, const TVisitEach& visit) const;

    const TQVCFBodySource& FSource;
    // The content element lies at [FContent, FEnd).
    std::uint64_t FContent = 0;
    std::uint64_t FEnd = 0;
    int FDepth;
    std::size_t FRunBytes;
    std::vector<THead> FHeads;
    bool FListed = false;
    // A visit of every sub-folder has read every child.
    bool FAllRead = false;
    std::vector<TKept> FKept;
};
