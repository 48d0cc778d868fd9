#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "storage/container/QVCFDecode.h"

class TQVCFFolder;

// A named node of a container's item tree: a folder (TQVCFFolder) or a file (TQVCFFile).
//
// Each item is encoded as SEQUENCE { type 0x06 "f"/"d", SEQUENCE { 0x1E name as UTF-16LE },
// OCTET STRING content }. A file's content is an OCTET STRING of its data; a folder's content is
// a SEQUENCE holding one OCTET STRING per child with the child's whole item encoding. Trees are
// what small files (language tables) and tests are read into; a budget is read through
// TQVCFReader and written through TQVCFWriter, never held as a tree.
class TQVCFItem {
public:
    virtual ~TQVCFItem() = default;
    TQVCFItem(const TQVCFItem&) = delete;
    TQVCFItem& operator=(const TQVCFItem&) = delete;

    std::u16string Name;
    TQVCFFolder* Parent() const { return FParent; }

    // "f" for a file, "d" for a folder.
    virtual std::string_view GetTypeTag() const = 0;
    bool IsFolder() const { return GetTypeTag() == "d"; }

    // The item's encoding in the writer's form (shortest definite lengths), built in one
    // allocation of its exact size.
    std::string Encode() const;

    // Decodes one item encoding into this item: its name, then its content. Its own type is not
    // compared: a root must hold a folder's content, whatever its type says. A folder's children
    // are made sorted as it is.
    void LoadFromBuffer(const std::uint8_t* buffer, std::uint32_t size);
    // Decodes an item encoding into a new file or folder, as its type tag says; `depth` is the
    // number of folders above it, which counts toward the deepest nesting a reader accepts.
    // Without `sorted`, a folder and every folder below it keep their children in the order
    // stored.
    static std::unique_ptr<TQVCFItem> CreateFromBuffer(const std::uint8_t* buffer,
                                                       std::uint32_t size, int depth = 0,
                                                       bool sorted = true);

protected:
    TQVCFItem() = default;

    // Exact sizes, computed bottom-up; MeasureContent caches what WriteContent needs.
    virtual std::uint64_t MeasureContent() const = 0;
    std::uint64_t MeasureItem() const;
    // Writes the encodings at `out` using the sizes cached by the last measure; returns the end.
    virtual std::uint8_t* WriteContent(std::uint8_t* out) const = 0;
    std::uint8_t* WriteItem(std::uint8_t* out) const;

    virtual void LoadContent(const std::uint8_t* buffer, std::uint64_t size, int depth) = 0;

private:
    friend class TQVCFFolder;

    // The parts of an item read from `buffer`, with `depth` folders above it.
    void LoadParts(const QVCFDecode::TItem& parts, const std::uint8_t* buffer, int depth);

    TQVCFFolder* FParent = nullptr;
    // Cached by MeasureItem for the WriteItem that follows it.
    mutable std::uint64_t FContentSize = 0;
    mutable std::uint64_t FItemSize = 0;
};

class TQVCFFile : public TQVCFItem {
public:
    std::string Data;

    std::string_view GetTypeTag() const override { return "f"; }

protected:
    std::uint64_t MeasureContent() const override;
    std::uint8_t* WriteContent(std::uint8_t* out) const override;
    void LoadContent(const std::uint8_t* buffer, std::uint64_t size, int depth) override;
};

// A folder owns its children. A sorted folder (every new folder) keeps them ordered by
// CompareItems: folders before files, then by name with ASCII letters compared case-blind; items
// that compare equal keep the order they were added or read in.
class TQVCFFolder : public TQVCFItem {
public:
    TQVCFFolder() = default;

    std::string_view GetTypeTag() const override { return "d"; }

    int Count() const { return static_cast<int>(FItems.size()); }
    // The child at `index`; raises EListError for an index outside 0..Count-1.
    TQVCFItem* GetItem(int index) const;

    // Add a new child and return it. No check is made for an existing item of the same name.
    TQVCFFile& NewFile(std::u16string_view name);
    TQVCFFolder& NewFolder(std::u16string_view name);

    void Clear() { FItems.clear(); }
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
    std::uint64_t MeasureContent() const override;
    std::uint8_t* WriteContent(std::uint8_t* out) const override;
    void LoadContent(const std::uint8_t* buffer, std::uint64_t size, int depth) override;

private:
    template <class T> T& NewChild(std::u16string_view name);
    TQVCFFolder& Root();
    TQVCFItem* FindChild(std::u16string_view name, bool foldersOnly) const;

    std::vector<std::unique_ptr<TQVCFItem>> FItems;
    bool FSorted = true;
};
