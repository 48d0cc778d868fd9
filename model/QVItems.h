#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "storage/QVBase.h"
#include "storage/container/QVCFReader.h"

class TQVCFWriter;

// Reading and writing the single-value file items that model objects keep in their folders.
// Readers never fail (ReadDate aside): a missing item, or a folder under that name, gives the
// default.
namespace QVItems {

// Adds a new file item with `data`; no check is made for an existing item of that name.
void Write(TQVCFWriter& folder, std::u16string_view name, std::string_view data);
void WriteText(TQVCFWriter& folder, std::u16string_view name, std::u16string_view text);
void WriteBool(TQVCFWriter& folder, std::u16string_view name, bool value);
// Decimal ASCII, "-" for negative values.
void WriteInt(TQVCFWriter& folder, std::u16string_view name, std::int32_t value);
void WriteDate(TQVCFWriter& folder, std::u16string_view name, double value);

// The data of the file item of that name (compared case-blind), if there is one; a view that
// lasts as long as the reader.
std::optional<std::string_view> Find(TQVCFReader& folder, std::u16string_view name);

// The data of a handful of file items of one folder, each as Find gives it, read in one pass over
// the folder's items rather than one for each name: a budget reads thousands of folders for a few
// values each. The names are a set prepared once (its names and the set must outlive this).
class TValues {
public:
    TValues(TQVCFReader& folder, const TQVCFReader::TNameSet& names);
    // Find's answer for the set's name at `index`.
    std::optional<std::string_view> Find(std::size_t index) const {
        return FFound[index] ? std::optional<std::string_view>(FData[index]) : std::nullopt;
    }

private:
    std::string_view FData[TQVCFReader::TNameSet::MaxNames];
    bool FFound[TQVCFReader::TNameSet::MaxNames];
};

// The readers below, on data as Find gives it.
std::u16string TextOf(std::optional<std::string_view> data);
bool BoolOf(std::optional<std::string_view> data, bool missing);
double DateOf(std::optional<std::string_view> data, double missing);

std::string ReadBytes(TQVCFReader& folder, std::u16string_view name);
std::u16string ReadText(TQVCFReader& folder, std::u16string_view name);
// A present item is true only when it is exactly the byte 0x01; `missing` is for no item at all.
bool ReadBool(TQVCFReader& folder, std::u16string_view name, bool missing);
// Text that is not a decimal 32-bit integer (optional sign, digits only) gives `fallback`.
std::int32_t ReadInt(TQVCFReader& folder, std::u16string_view name, std::int32_t fallback);
// A stored date; `missing` when there is no item. The one reader that fails: a date that is not
// a finite number raises EConvertError, so that its object is dropped as unreadable rather than
// left where no order can place it.
double ReadDate(TQVCFReader& folder, std::u16string_view name, double missing);

// Whether an error raised while an object read itself is the object's own (an unknown type, a
// value that cannot be read), which drops that object alone, rather than a fault of the file or
// of reading it, which ends the open.
bool IsObjectError(const std::exception_ptr& error);

// The order of a list's sub-folders (one object each, named by its index) as the objects were
// written, learnt from their names as they are visited, in any order: numbers by value, then any
// other names in the folder's order.
class TListOrder {
public:
    // Notes the sub-folder that is `index`-th in the order stored, named `name`.
    void Add(std::size_t index, std::u16string_view name);
    // The notes, by the order of their Add, in the order written.
    std::vector<std::size_t> Order() const;

private:
    static constexpr std::uint32_t NoNumber = UINT32_MAX;
    // Small, as a month's flows each have one while the month is read.
    struct TNote {
        std::uint32_t Index;
        // The name's value when it is an index as the program writes it (decimal digits, no
        // leading zero, nine at most); else NoNumber, and the name is among FOthers.
        std::uint32_t Number;
    };
    std::vector<TNote> FNotes;
    std::vector<std::pair<std::size_t, std::u16string>> FOthers; // by the note's place
};

// The objects of the list folder `folder`, each made by `make` from its sub-folder and that
// folder's index in the order stored (null drops it), in the order they were written. With
// `concurrent`, the objects of a large list may be made on several threads at once
// (TQVCFReader::Folders).
std::vector<std::unique_ptr<TQVBase>>
ReadObjects(TQVCFReader& folder,
            const std::function<std::unique_ptr<TQVBase>(std::size_t index, TQVCFReader&)>& make,
            bool concurrent = false);

// ReadObjects for objects of class T.
template <class T>
std::vector<std::unique_ptr<T>>
ReadList(TQVCFReader& folder,
         const std::function<std::unique_ptr<T>(std::size_t index, TQVCFReader&)>& make,
         bool concurrent = false) {
    std::vector<std::unique_ptr<TQVBase>> read = ReadObjects(
        folder,
        [&make](std::size_t index, TQVCFReader& child) -> std::unique_ptr<TQVBase> {
            return make(index, child);
        },
        concurrent);
    std::vector<std::unique_ptr<T>> objects(read.size());
    for (std::size_t i = 0; i < read.size(); ++i)
        objects[i].reset(static_cast<T*>(read[i].release()));
    return objects;
}

// A new object that read itself from `folder` (TQVBase::LoadFromFolder); null when it failed
// with an error of its own.
template <class T> std::unique_ptr<T> LoadObject(TQVCFReader& folder) {
    auto object = std::make_unique<T>();
    try {
        object->LoadFromFolder(folder);
    } catch (...) {
        if (!IsObjectError(std::current_exception()))
            throw;
        object.reset();
    }
    return object;
}

// ReadList of objects that read themselves; one that fails with an error of its own is dropped
// alone.
template <class T> std::vector<std::unique_ptr<T>> LoadList(TQVCFReader& folder) {
    return ReadList<T>(folder,
                       [](std::size_t, TQVCFReader& child) { return LoadObject<T>(child); });
}

} // namespace QVItems
