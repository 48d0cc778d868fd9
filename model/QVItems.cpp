#include "model/QVItems.h"

#include <charconv>

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

} // namespace QVItems
