#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string_view>

// A folder of a container as a reader of stored objects sees it: its files looked up by name, its
// sub-folders visited. It is one of three things: a view of a folder's encoding held in memory
// (TQVCFView), a folder of a large body read where it lies in its file (TQVCFInPlaceFolder), or
// an item tree's folder seen through its encoding. Look-ups answer as TQVCFFolder::FindItem
// does on the tree the encoding reads into: names compare case-blind over their narrow forms, and
// the first match counts, a folder before any file of the same name.
//
// The mirror of TQVCFWriter: an object reads from it what it wrote.
class TQVCFReader {
public:
    // Names looked up together, prepared once for any number of folders. The names must be plain
    // (not empty, no "/") and outlive the set; more than MaxNames raise EPACFError "Internal
    // error".
    class TNameSet {
    public:
        static constexpr std::size_t MaxNames = 12;
        TNameSet(std::initializer_list<std::u16string_view> names)
            : TNameSet(names.begin(), names.size()) {}
        TNameSet(const std::u16string_view* names, std::size_t count);
        std::size_t Size() const { return FCount; }
        std::u16string_view Name(std::size_t index) const { return FNames[index]; }
        std::uint64_t Key(std::size_t index) const { return FKeys[index]; }
        // Plain text (no zero unit, no half of a surrogate pair): such a name matches a stored
        // simple name exactly when their units do, letters folded.
        bool Simple(std::size_t index) const { return FSimple[index]; }

    private:
        std::u16string_view FNames[MaxNames];
        std::uint64_t FKeys[MaxNames] = {};
        bool FSimple[MaxNames] = {};
        std::size_t FCount = 0;
    };

    using TVisit = std::function<void(TQVCFReader& folder)>;
    using TVisitEach =
        std::function<void(std::size_t index, std::u16string_view name, TQVCFReader& folder)>;

    virtual ~TQVCFReader() = default;

    // The data of the file `name` (a plain name), as a view that lasts as long as this reader;
    // false when there is no such file.
    virtual bool File(std::u16string_view name, std::string_view& data) = 0;
    // File for each name of the set (`found[i]` its answer, `data[i]` its data), in one pass over
    // the children: a reader of a few values from each of thousands of folders reads each once.
    virtual void Files(const TNameSet& names, std::string_view* data, bool* found) = 0;
    // Calls `visit` with the sub-folder `name`, which lasts for the call; false when there is
    // none.
    virtual bool Folder(std::u16string_view name, const TVisit& visit) = 0;
    // Calls `visit` for each sub-folder in the order they are stored, with its index in that
    // order and its name; the folder lasts for the call. With `concurrent`, a large folder's
    // sub-folders may be visited on other threads, several at once: `visit` must then be safe to
    // run so and see nothing of the tree but its folder. The first error raised, in the order
    // stored, ends the visits and passes on once every visit has ended.
    virtual void Folders(const TVisitEach& visit, bool concurrent = false) = 0;
};
