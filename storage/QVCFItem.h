#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ByteBuffer.h"
#include "platform/Exception.h"

class TASN1ConstrainedTag;
class TQVCFArena;
class TQVCFBodySource;
class TQVCFFolder;
namespace QVCFPlain {
struct TChild;
struct TShape;
} // namespace QVCFPlain

// Deepest nesting of folders below the root that a reader accepts; stored budgets use three or
// four levels.
constexpr int CFMaxFolderDepth = 64;

// A named node of a container's item tree: a folder (TQVCFFolder) or a file (TQVCFFile).
//
// Each item is encoded as SEQUENCE { type 0x06 "f"/"d", SEQUENCE { 0x1E name as UTF-16LE },
// OCTET STRING content }. A file's content is an OCTET STRING of its data; a folder's content is
// a SEQUENCE holding one OCTET STRING per child with the child's whole item encoding.
//
// The items below a folder live in their tree's arena (TQVCFArena), which the top folder owns.
class TQVCFItem {
public:
    TQVCFItem() = default;
    virtual ~TQVCFItem() = default;
    TQVCFItem(const TQVCFItem&) = delete;
    TQVCFItem& operator=(const TQVCFItem&) = delete;

    std::u16string Name;
    TQVCFFolder* Parent() const { return FParent; }

    // "f" for a file, "d" for a folder.
    virtual std::string_view GetTypeTag() const { return {}; }
    bool IsFolder() const { return FIsFolder; }

    // With `size` 0: sets `size` to an upper bound of the content encoding and returns false.
    // Otherwise writes the content encoding into `buffer` of capacity `size`, sets `size` to the
    // bytes written and returns true; raises EPACFError "Internal error" when it does not fit.
    bool SaveContentToBuffer(std::uint8_t* buffer, std::uint32_t& size) const;
    // The same protocol for the whole item encoding.
    bool SaveToBuffer(std::uint8_t* buffer, std::uint32_t& size) const;

    // The item's encoding, built in one allocation of its exact size.
    std::string Encode() const;

    // Decodes one item encoding into this item: its name, then its content.
    void LoadFromBuffer(const std::uint8_t* buffer, std::uint32_t size);
    void LoadContentFromBuffer(const std::uint8_t* buffer, std::uint32_t size);
    // LoadFromBuffer over bytes the item may keep: a folder then reads its sub-folders only when
    // they are first used, straight from these bytes, without a copy of them.
    void LoadFromBytes(TByteBuffer bytes);

    // Decodes an item encoding into a new file or folder, as its type tag says.
    static std::unique_ptr<TQVCFItem> CreateFromBuffer(const std::uint8_t* buffer,
                                                       std::uint32_t size);

protected:
    explicit TQVCFItem(bool isFolder) : FIsFolder(isFolder) {}

    // Upper bound of the content encoding, from the margins the format has always used.
    virtual std::uint64_t ContentEstimate() const = 0;
    std::uint64_t ItemEstimate() const;

    // Exact sizes, computed bottom-up; MeasureContent caches what WriteContent needs.
    virtual std::uint64_t MeasureContent() const = 0;
    std::uint64_t MeasureItem() const;
    // Writes the encodings at `out` using the sizes cached by the last measure; returns the end.
    virtual std::uint8_t* WriteContent(std::uint8_t* out) const = 0;
    std::uint8_t* WriteItem(std::uint8_t* out) const;

    virtual void LoadContent(const std::uint8_t* buffer, std::uint32_t size, int depth) = 0;

private:
    friend class TQVCFFolder;

    void LoadFromTree(const TASN1ConstrainedTag& item, int depth);
    void LoadFromParts(bool hasName, const std::uint8_t* name, std::size_t nameSize,
                       const std::uint8_t* content, std::size_t contentSize, int depth);
    // `arena` null: a top item of its own, made with new.
    static TQVCFItem* CreateFromBufferAt(TQVCFArena* arena, const std::uint8_t* buffer,
                                         std::uint32_t size, int depth);

    std::uint64_t CachedItemSize() const { return FItemSize; }

    TQVCFFolder* FParent = nullptr;
    // Cached by MeasureItem for the WriteItem that follows it.
    mutable std::uint64_t FContentSize = 0;
    mutable std::uint64_t FItemSize = 0;
    bool FIsFolder = false;
};

class TQVCFFile : public TQVCFItem {
public:
    std::string Data;

    std::string_view GetTypeTag() const override { return "f"; }

protected:
    std::uint64_t ContentEstimate() const override;
    std::uint64_t MeasureContent() const override;
    std::uint8_t* WriteContent(std::uint8_t* out) const override;
    void LoadContent(const std::uint8_t* buffer, std::uint32_t size, int depth) override;
};

// A folder owns its children. A sorted folder (every new folder) keeps them ordered by
// CompareItems: folders before files, then by name with ASCII letters compared case-blind.
//
// A folder read from bytes it may keep (LoadFromBytes, or a copy of the caller's) makes items of
// its direct children only; each sub-folder keeps its encoded children until something asks for
// them. Every member below reads them in first, except FindFileData, which looks a file up in
// the encoding itself, so that a reader asking a few values of each of thousands of folders never
// builds their items.
class TQVCFFolder : public TQVCFItem {
public:
    TQVCFFolder() : TQVCFItem(true) {}
    ~TQVCFFolder() override;

    std::string_view GetTypeTag() const override { return "d"; }

    int Count() const;
    // The child at `index`; raises EListError for an index outside 0..Count-1.
    TQVCFItem* GetItem(int index) const;

    // Adds a new child and returns its index (its sorted position in a sorted folder). No check
    // is made for an existing item of the same name.
    int AddFile(std::u16string_view name);
    int AddFolder(std::u16string_view name);
    // Typed shortcuts for writers: add and return the new child. Its place among the others is
    // settled when the folder's order is next looked at, so a writer adding many items pays for
    // one sort instead of a search and a shift for each.
    TQVCFFile& NewFile(std::u16string_view name);
    TQVCFFolder& NewFolder(std::u16string_view name);

    void Clear();
    void Sort();
    bool Sorted() const { return FSorted; }
    // True sorts at once; false keeps the present order and appends new items at the end.
    void SetSorted(bool value);

    // Looks an item up by a "/"-separated path. A leading "/" (or an empty component) starts at
    // the root; "." and ".." are understood when a "/" follows them. With `create`, missing
    // folders are made and a missing last component becomes a file.
    TQVCFItem* FindItem(std::u16string_view path, bool create);
    // The data of the file FindItem(name, false) would find, as a view that lasts while the
    // folder is unchanged; false when that finds no file.
    bool FindFileData(std::u16string_view name, std::string_view& data) const;
    // Names that FindFilesData looks up together, prepared once for any number of folders. The
    // names must outlive the set; more than MaxNames raise EPACFError "Internal error".
    class TNameSet {
    public:
        static constexpr std::size_t MaxNames = 12;
        TNameSet(std::initializer_list<std::u16string_view> names)
            : TNameSet(names.begin(), names.size()) {}
        TNameSet(const std::u16string_view* names, std::size_t count);
        std::size_t Size() const { return FCount; }
        std::u16string_view Name(std::size_t index) const { return FNames[index]; }

    private:
        friend class TQVCFFolder;
        std::u16string_view FNames[MaxNames];
        // The names' NameKey, and whether each is simple (plain text, not empty, no "/").
        std::uint64_t FKeys[MaxNames] = {};
        bool FSimple[MaxNames] = {};
        std::size_t FCount = 0;
    };
    // FindFileData for each name of the set (`found[i]` its answer, `data[i]` its data), in one
    // pass over the children instead of one for each name where the children are still encoded:
    // a reader of a few values from each of thousands of folders reads each folder once.
    void FindFilesData(const TNameSet& names, std::string_view* data, bool* found) const;

    // A sub-folder of a folder whose children are still encoded: its name and encoded content.
    struct TPackedFolder {
        std::u16string Name;
        const std::uint8_t* Content = nullptr;
        std::uint32_t Size = 0;
    };
    // The sub-folders in the folder's order, without making items of them; false, with nothing
    // listed, when the folder's children are items already.
    bool PackedFolders(std::vector<TPackedFolder>& folders) const;
    // Makes `view`, a folder of its own, stand for that sub-folder while this folder is
    // unchanged: a reader of thousands of sub-folders then builds none of them.
    void ViewFolder(const TPackedFolder& folder, TQVCFFolder& view) const;
    // Visits each of `folders` (this folder's PackedFolders) once through a view, in the order
    // the folder stores them, with its index in `folders`, and hands the memory of what has been
    // read back to the system as it goes: a reader of a large list of folders, which has no more
    // use of it after, then never holds the list's encoding whole beside what it builds from it.
    // The folder is empty afterwards, also when `visit` raises. Raises EPACFError "Internal
    // error" for a folder whose children are items, or for folders that are not its own.
    //
    // With `concurrent`, a folder whose sub-folders are unread (LoadInPlace) has them visited on
    // several threads at once, each visit with a view (and an item memory) of its own, in no set
    // order: `visit` must then be safe to run so, and see nothing of its folder's tree but the
    // view. The first error raised ends them all and is raised when they have ended.
    void DrainFolders(const std::vector<TPackedFolder>& folders,
                      const std::function<void(std::size_t index, TQVCFFolder& view)>& visit,
                      bool concurrent = false);
    // LoadFromBytes for the body that `source` reads in place, with `bytes` address room for all
    // of it (TByteBuffer::Reserve): only what the folder's look-ups need is read into it now. A
    // folder among the children whose item is larger than `largeFolder` bytes keeps its sub-folders
    // unread until DrainFolders visits them, each read then into memory that the next reuses, so
    // the body is never held whole; anything else asked of such a folder reads it whole first. A
    // part found then not to be in the plain form raises EPACFReadAgain. False, with nothing read
    // into the folder and `bytes` its caller's still, when the body's head is not in that form.
    // `source` must outlive the folder's contents.
    bool LoadInPlace(const TQVCFBodySource& source, TByteBuffer& bytes, std::size_t largeFolder);

    // Asks the processor to fetch a sub-folder's bytes ahead of the reader, which otherwise
    // waits for memory at each of thousands of small folders.
    static void Prefetch(const TPackedFolder& folder);

    // Folders before files, then names in the order their narrow forms compare under
    // CompareText: <0, 0 or >0.
    static int CompareItems(const TQVCFItem& a, const TQVCFItem& b);
    static int CompareNames(std::u16string_view a, std::u16string_view b);

protected:
    std::uint64_t ContentEstimate() const override;
    std::uint64_t MeasureContent() const override;
    std::uint8_t* WriteContent(std::uint8_t* out) const override;
    void LoadContent(const std::uint8_t* buffer, std::uint32_t size, int depth) override;

private:
    friend class TQVCFItem;

    TQVCFArena& Arena() const;
    template <class T> T& NewChild(std::u16string_view name);
    void Append(TQVCFItem* item);
    int Insert(TQVCFItem* item);
    void DestroyChildren();
    // Reads packed children into items, and settles the order of items added since the last
    // look; both are invisible to the folder's users, hence const.
    void Unpack() const;
    void SettleOrder() const;
    void Ready() const {
        if (FPacked != nullptr)
            Unpack();
        if (FOrdered != FCount)
            SettleOrder();
    }
    // Reads an item encoding (or, without `isItem`, a content encoding) that is plain all the way
    // down as packed content: its bytes are kept (`owned`, or a copy) and nothing is decoded yet.
    // False, with nothing changed, when the general reader must decide.
    bool LoadPacked(const std::uint8_t* buffer, std::uint32_t size, bool isItem,
                    TByteBuffer* owned);
    // Drops the children and keeps `bytes` as the folder's packed content: `size` bytes from
    // `offset`, checked, their names lying as `shape` says. Gives where the bytes now are.
    const std::uint8_t* KeepPacked(TByteBuffer bytes, std::size_t offset, std::uint32_t size,
                                   const QVCFPlain::TShape& shape);
    // The packed children, decoded once for a row of look-ups in the same folder.
    std::vector<QVCFPlain::TChild>& PackedChildren() const;
    bool FindPacked(std::u16string_view name, std::string_view& data) const;
    bool LoadPlainContent(const std::uint8_t* buffer, std::uint32_t size, int depth);
    void AppendLoaded(const std::uint8_t* encoding, std::size_t size, int depth);
    TQVCFFolder& Root();
    // For a folder whose sub-folders LoadInPlace left unread: reads and checks all of them.
    void ReadUnread() const;
    void DrainUnread(const std::vector<TPackedFolder>& folders,
                     const std::vector<std::size_t>& stored,
                     const std::function<void(std::size_t index, TQVCFFolder& view)>& visit,
                     bool concurrent);
    // Makes `view` stand for packed folder content of this folder's tree; its items are made in
    // `arena`.
    void MakeView(const std::u16string& name, const std::uint8_t* content, std::uint32_t size,
                  bool simple, bool innerSimple, TQVCFArena& arena, TQVCFFolder& view) const;
    TQVCFItem* FindChild(std::u16string_view name, bool foldersOnly) const;

    // The tree's arena: owned by the top folder, shared by every folder below it.
    mutable TQVCFArena* FArena = nullptr;
    mutable TQVCFItem** FItems = nullptr;
    mutable std::uint32_t FCount = 0;
    mutable std::uint32_t FCapacity = 0;
    // Items [0, FOrdered) are in their sorted places; the rest were appended since.
    mutable std::uint32_t FOrdered = 0;
    // The still encoded content (a SEQUENCE of OCTET STRINGs, checked when it was read).
    mutable std::uint32_t FPackedSize = 0;
    mutable const std::uint8_t* FPacked = nullptr;
    // The packed content has simple names and its folders before its files, so that looking a
    // name up compares units (QVCFPlain::SameSimpleName); the inner flag says the same of
    // every folder below.
    mutable bool FPackedSimple = false;
    mutable bool FPackedInnerSimple = false;
    // The packed content's sub-folders are not read yet (LoadInPlace).
    mutable bool FUnread = false;
    bool FSorted = true;
    bool FOwnsArena = false;
};
