#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ByteBuffer.h"
#include "storage/container/QVCFPlain.h"
#include "storage/container/QVCFReader.h"

class TQVCFFolder;

// A folder's content encoding in memory, in the plain form and checked (QVCFPlain::
// CheckFolderContent), read as it lies: a budget reads thousands of folders for a handful of
// values each, and looks them up in the bytes without making an item of any of them. The bytes
// must outlive the view and its sub-folders' views.
class TQVCFView final : public TQVCFReader {
public:
    // `content` is the folder's content element, which CheckFolderContent accepted with `shape`.
    TQVCFView(const std::uint8_t* content, std::size_t size, const QVCFPlain::TShape& shape);

    bool File(std::u16string_view name, std::string_view& data) override;
    void Files(const TNameSet& names, std::string_view* data, bool* found) override;
    bool Folder(std::u16string_view name, const TVisit& visit) override;
    // Visits in the calling thread: a folder held in memory is a small one.
    void Folders(const TVisitEach& visit, bool concurrent = false) override;

    // Calls `visit` with a view of the tree's folder `folder`, made from its encoding.
    static void Read(const TQVCFFolder& folder, const TVisit& visit);

private:
    TQVCFView(const std::uint8_t* content, bool simple, bool innerSimple);
    // The child FindItem would find by that name: a folder or a file, or null.
    bool Find(std::u16string_view name, QVCFPlain::TChild& found) const;

    const std::uint8_t* FContent;
    // The children's names are simple (plain text, not empty, no "/") and the folders come
    // before the files, so that the first child whose units match a plain name is the one; the
    // inner flag says the same of every folder below.
    bool FSimple;
    bool FInnerSimple;
};

// One item read whole from its encoding: its name and kind, and a file's data or a folder's
// content as a view. The plain form is read where it lies, and those bytes must outlive this;
// any other form that the item tree reads is read through a tree and kept here, written plain,
// so that the tree's own checks and messages apply.
class TQVCFItemView {
public:
    // `depth`: the folders above the item, 0 for a container's root, whose type is never
    // compared (a root must hold a folder's content, whatever its type says).
    TQVCFItemView(const std::uint8_t* item, std::size_t size, int depth);

    bool IsFolder() const { return FView.has_value(); }
    const std::u16string& Name() const { return FName; }
    std::string_view Data() const { return FData; }
    // The folder's content; only for a folder.
    TQVCFView& Folder() { return *FView; }

private:
    void ReadTree(const std::uint8_t* item, std::size_t size, int depth);

    std::u16string FName;
    std::string_view FData;
    std::optional<TQVCFView> FView;
    // The plain encoding made from another form, and a file's data from it.
    TByteBuffer FPlain;
    std::string FTreeData;
};
