#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/QVCFItem.h"

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
// lasts while the folder is unchanged. Read from a file, the folder does not build its items
// for it.
std::optional<std::string_view> Find(const TQVCFFolder& folder, std::u16string_view name);

// The data of a handful of file items of one folder, each as Find gives it, read in one pass over
// the folder's items rather than one for each name: a budget reads thousands of folders for a few
// values each. The names are a set prepared once (its names and the set must outlive this).
class TValues {
public:
    TValues(const TQVCFFolder& folder, const TQVCFFolder::TNameSet& names);
    // Find's answer for the set's name at `index`.
    std::optional<std::string_view> Find(std::size_t index) const {
        return FFound[index] ? std::optional<std::string_view>(FData[index]) : std::nullopt;
    }

private:
    std::string_view FData[TQVCFFolder::TNameSet::MaxNames];
    bool FFound[TQVCFFolder::TNameSet::MaxNames];
};

// The readers below, on data as Find gives it.
std::u16string TextOf(std::optional<std::string_view> data);
bool BoolOf(std::optional<std::string_view> data, bool missing);
double DateOf(std::optional<std::string_view> data, double missing);

std::string ReadBytes(TQVCFFolder& folder, std::u16string_view name);
std::u16string ReadText(TQVCFFolder& folder, std::u16string_view name);
// A present item is true only when it is exactly the byte 0x01; `missing` is for no item at all.
bool ReadBool(TQVCFFolder& folder, std::u16string_view name, bool missing);
// Text that is not a decimal 32-bit integer (optional sign, digits only) gives `fallback`.
std::int32_t ReadInt(TQVCFFolder& folder, std::u16string_view name, std::int32_t fallback);
// A stored date; `missing` when there is no item. The one reader that fails: a date that is not
// a finite number raises EConvertError, so that its object is dropped as unreadable rather than
// left where no order can place it.
double ReadDate(TQVCFFolder& folder, std::u16string_view name, double missing);

// The sub-folders of a list folder (one object each, named by its index) in the order the
// objects were written: numbers by value, then any other names in the folder's order.
std::vector<TQVCFFolder*> ListFolders(TQVCFFolder& folder);
// Calls `visit` for each of them in that order. A folder read from a file makes no items of
// them: each is visited as a stand-in folder that lasts only for its call.
void ForEachListFolder(TQVCFFolder& folder, const std::function<void(TQVCFFolder&)>& visit);
// The same sub-folders for a reader that reads each once and has no more use of the list: each
// is visited with its place in that order, in the order the folder stores them, and the memory
// of those read is handed back as the reader goes. The folder is empty afterwards. With
// `concurrent`, sub-folders still unread in the file may be visited on several threads at once
// (TQVCFFolder::DrainFolders).
void DrainListFolders(TQVCFFolder& folder,
                      const std::function<void(std::size_t place, TQVCFFolder&)>& visit,
                      bool concurrent = false);

} // namespace QVItems
