#include "model/QVItems.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "model/QVMoneyText.h"

#include "storage/QVBase.h"
#include "storage/QVCFItem.h"
#include "storage/QVUtils.h"

namespace QVItems {

void Write(TQVCFFolder& folder, std::u16string_view name, std::string data) {
    folder.NewFile(name).Data = std::move(data);
}

void WriteText(TQVCFFolder& folder, std::u16string_view name, std::u16string_view text) {
    Write(folder, name, QVBase::WideToBytes(text));
}

void WriteBool(TQVCFFolder& folder, std::u16string_view name, bool value) {
    Write(folder, name, QVUtils::BoolToBytes(value));
}

void WriteInt(TQVCFFolder& folder, std::u16string_view name, std::int32_t value) {
    Write(folder, name, std::to_string(value));
}

void WriteDate(TQVCFFolder& folder, std::u16string_view name, double value) {
    Write(folder, name, QVUtils::DoubleToBytes(value));
}

const TQVCFFile* Find(TQVCFFolder& folder, std::u16string_view name) {
    return dynamic_cast<const TQVCFFile*>(folder.FindItem(name, false));
}

std::string ReadBytes(TQVCFFolder& folder, std::u16string_view name) {
    const TQVCFFile* file = Find(folder, name);
    return file != nullptr ? file->Data : std::string();
}

std::u16string ReadText(TQVCFFolder& folder, std::u16string_view name) {
    const TQVCFFile* file = Find(folder, name);
    return file != nullptr ? QVBase::BytesToWide(file->Data) : std::u16string();
}

bool ReadBool(TQVCFFolder& folder, std::u16string_view name, bool missing) {
    const TQVCFFile* file = Find(folder, name);
    return file != nullptr ? QVUtils::BytesToBool(file->Data) : missing;
}

std::int32_t ReadInt(TQVCFFolder& folder, std::u16string_view name, std::int32_t fallback) {
    const TQVCFFile* file = Find(folder, name);
    if (file == nullptr || file->Data.empty())
        return fallback;
    const char* first = file->Data.data();
    const char* last = first + file->Data.size();
    // from_chars knows "-" but not "+".
    if (*first == '+' && last - first > 1 && first[1] != '-')
        ++first;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last ? value : fallback;
}

double ReadDate(TQVCFFolder& folder, std::u16string_view name, double missing) {
    const TQVCFFile* file = Find(folder, name);
    if (file == nullptr)
        return missing;
    const double value = QVUtils::BytesToDouble(file->Data);
    if (!std::isfinite(value))
        throw EConvertError("Date cannot be read: it is not a finite number");
    return value;
}

namespace {

// A name of decimal digits only, as the writer gives its sub-folders.
bool IsNumberName(std::u16string_view name) {
    return !name.empty() &&
           std::all_of(name.begin(), name.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// Numbers of any length by value: without leading zeros, the shorter is the smaller.
bool NumberLess(std::u16string_view a, std::u16string_view b) {
    const auto trim = [](std::u16string_view s) {
        const std::size_t first = s.find_first_not_of(u'0');
        return first == std::u16string_view::npos ? std::u16string_view() : s.substr(first);
    };
    a = trim(a);
    b = trim(b);
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

} // namespace

// The container keeps names sorted as text ("0", "1", "10", "2"), which would shuffle every list
// of more than ten objects.
std::vector<TQVCFFolder*> ListFolders(TQVCFFolder& folder) {
    std::vector<TQVCFFolder*> children;
    children.reserve(static_cast<std::size_t>(folder.Count()));
    for (int i = 0; i < folder.Count(); ++i) {
        if (auto* child = dynamic_cast<TQVCFFolder*>(folder.GetItem(i)))
            children.push_back(child);
    }
    std::stable_sort(children.begin(), children.end(),
                     [](const TQVCFFolder* a, const TQVCFFolder* b) {
                         const bool na = IsNumberName(a->Name);
                         const bool nb = IsNumberName(b->Name);
                         if (na != nb)
                             return na;
                         return na && NumberLess(a->Name, b->Name);
                     });
    return children;
}

} // namespace QVItems
