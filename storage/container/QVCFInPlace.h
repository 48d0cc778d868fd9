#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ByteBuffer.h"
#include "storage/container/QVCFDecode.h"
#include "storage/container/QVCFReader.h"
#include "storage/container/QVCFView.h"

class TQVCFBodySource;

// A folder of a container's body that is read where it lies in its file, for a folder too large
// to hold. A look-up walks the children's heads to the one it wants and reads that one whole; the
// sub-folders are visited a run of them at a time; a child larger than a run is itself read in
// place. What the reader holds is a few runs and the items it was asked for, whatever the
// budget's shape, and every form of the item encoding is read, at any size.
//
// Whatever no look-up or visit reads is read by CheckUnread, so that a damaged item anywhere
// fails the read as a read of the whole body fails. Faults are reported as the reading meets
// them: where a body holds more than one, the first met may not be the first stored.
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
    // A child: where its item element lies and what its head says.
    struct TChild {
        std::uint64_t Item = 0;
        std::uint64_t ItemSize = 0;
        QVCFDecode::TItem Head;
    };
    // A file read for a look-up, kept while the reader lives: its data is handed out as a view.
    struct TKept {
        std::uint64_t Item = 0;
        TByteBuffer Bytes;
        std::unique_ptr<TQVCFItemView> View;
    };
    struct TChildRun;
    struct TRunCursor;

    // The children in the order stored, each head read, until `each` returns false.
    template <class Each> void Walk(Each&& each) const;
    // The child FindItem would find by that name: the first folder of it, else the first file.
    bool Find(std::u16string_view name, TChild& found) const;
    bool WasRead(std::uint64_t item) const;
    // The child read whole, into `bytes`: its view.
    std::unique_ptr<TQVCFItemView> ReadWhole(const TChild& child, TByteBuffer& bytes) const;
    // A file child, read whole and kept.
    std::string_view Keep(const TChild& child);
    // A child too large to read whole, in place: a folder visited and then checked to its end,
    // a file's content checked.
    void ReadLarge(const TChild& child, const TVisit& visit) const;
    // The sub-folders in runs; with `unreadOnly`, the children not read yet, checked.
    void ReadRuns(const TVisitEach& visit, bool concurrent, bool unreadOnly);
    // The next run of children from the cursor on; false after the last.
    bool MakeRun(TRunCursor& cursor, TChildRun& run, bool unreadOnly) const;
    void BuildRun(TChildRun& run, const TVisitEach& visit) const;

    const TQVCFBodySource& FSource;
    // The content element lies at [FContent, FEnd).
    std::uint64_t FContent = 0;
    std::uint64_t FEnd = 0;
    int FDepth;
    std::size_t FRunBytes;
    // The items that look-ups read, and the files among them.
    std::vector<std::uint64_t> FRead;
    std::vector<TKept> FKept;
    // A visit of every sub-folder has read every child.
    bool FAllRead = false;
};
