#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Exception.h"

class TASN1ConstrainedTag;
class TQVCFArena;
class TQVCFFolder;

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
    // Decodes an item encoding into a new file or folder, as its type tag says; `depth` is the
    // number of folders above it, which counts toward the deepest nesting a reader accepts.
    static std::unique_ptr<TQVCFItem> CreateFromBuffer(const std::uint8_t* buffer,
                                                       std::uint32_t size, int depth = 0);

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
// CompareItems: folders before files, then by name with ASCII letters compared case-blind; items
// that compare equal keep the order they were added or read in.
class TQVCFFolder : public TQVCFItem {
public:
    TQVCFFolder() : TQVCFItem(true) {}
    ~TQVCFFolder() override;

    std::string_view GetTypeTag() const override { return "d"; }

    int Count() const { return static_cast<int>(FCount); }
    // The child at `index`; raises EListError for an index outside 0..Count-1.
    TQVCFItem* GetItem(int index) const;

    // Adds a new child and returns its index (its sorted position in a sorted folder). No check
    // is made for an existing item of the same name.
    int AddFile(std::u16string_view name);
    int AddFolder(std::u16string_view name);
    // Typed shortcuts for writers: add and return the new child.
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

    TQVCFArena& Arena();
    template <class T> T& NewChild(std::u16string_view name);
    void Append(TQVCFItem* item);
    // Moves the item just appended to its sorted place; returns its index.
    int Insert(TQVCFItem* item);
    void DestroyChildren();
    bool LoadPlainContent(const std::uint8_t* buffer, std::uint32_t size, int depth);
    void AppendLoaded(const std::uint8_t* encoding, std::size_t size, int depth);
    TQVCFFolder& Root();
    TQVCFItem* FindChild(std::u16string_view name, bool foldersOnly) const;

    // The tree's arena: owned by the top folder, shared by every folder below it.
    TQVCFArena* FArena = nullptr;
    TQVCFItem** FItems = nullptr;
    std::uint32_t FCount = 0;
    std::uint32_t FCapacity = 0;
    bool FSorted = true;
    bool FOwnsArena = false;
};
