#include "model/QVItems.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "model/QVMoneyText.h"

#include "storage/QVBase.h"
#include "storage/container/QVCFItem.h"
#include "storage/container/QVCFWriter.h"
#include "storage/QVException.h"
#include "storage/QVUtils.h"

namespace QVItems {

void Write(TQVCFWriter& folder, std::u16string_view name, std::string_view data) {
    folder.File(name, data);
}

void WriteText(TQVCFWriter& folder, std::u16string_view name, std::u16string_view text) {
    folder.Text(name, text);
}

void WriteBool(TQVCFWriter& folder, std::u16string_view name, bool value) {
    Write(folder, name, QVUtils::BoolToBytes(value));
}

void WriteInt(TQVCFWriter& folder, std::u16string_view name, std::int32_t value) {
    Write(folder, name, std::to_string(value));
}

void WriteDate(TQVCFWriter& folder, std::u16string_view name, double value) {
    Write(folder, name, QVUtils::DoubleToBytes(value));
}

std::optional<std::string_view> Find(TQVCFReader& folder, std::u16string_view name) {
    std::string_view data;
    if (!folder.File(name, data))
        return std::nullopt;
    return data;
}

TValues::TValues(TQVCFReader& folder, const TQVCFReader::TNameSet& names) {
    folder.Files(names, FData, FFound);
}

std::u16string TextOf(std::optional<std::string_view> data) {
    return data ? QVBase::BytesToWide(*data) : std::u16string();
}

bool BoolOf(std::optional<std::string_view> data, bool missing) {
    return data ? QVUtils::BytesToBool(*data) : missing;
}

double DateOf(std::optional<std::string_view> data, double missing) {
    if (!data)
        return missing;
    const double value = QVUtils::BytesToDouble(*data);
    if (!std::isfinite(value))
        throw EConvertError("Date cannot be read: it is not a finite number");
    return value;
}

std::string ReadBytes(TQVCFReader& folder, std::u16string_view name) {
    return std::string(Find(folder, name).value_or(std::string_view()));
}

std::u16string ReadText(TQVCFReader& folder, std::u16string_view name) {
    return TextOf(Find(folder, name));
}

bool ReadBool(TQVCFReader& folder, std::u16string_view name, bool missing) {
    return BoolOf(Find(folder, name), missing);
}

std::int32_t ReadInt(TQVCFReader& folder, std::u16string_view name, std::int32_t fallback) {
    const auto data = Find(folder, name);
    if (!data || data->empty())
        return fallback;
    const char* first = data->data();
    const char* last = first + data->size();
    // from_chars knows "-" but not "+".
    if (*first == '+' && last - first > 1 && first[1] != '-')
        ++first;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last ? value : fallback;
}

double ReadDate(TQVCFReader& folder, std::u16string_view name, double missing) {
    return DateOf(Find(folder, name), missing);
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

// Positions of `names` (in the folder's order) in the order the objects were written.
std::vector<std::size_t> WrittenOrder(const std::vector<std::u16string_view>& names) {
    // As the program writes them, the names are exactly 0..n-1: each goes straight to its place.
    std::vector<std::size_t> order(names.size(), names.size());
    bool direct = true;
    for (std::size_t i = 0; direct && i < names.size(); ++i) {
        const std::u16string_view name = names[i];
        direct = IsNumberName(name) && name.size() <= 9 && (name.size() == 1 || name[0] != u'0');
        std::size_t value = 0;
        for (std::size_t j = 0; direct && j < name.size(); ++j)
            value = value * 10 + static_cast<std::size_t>(name[j] - u'0');
        direct = direct && value < order.size() && order[value] == names.size();
        if (direct)
            order[value] = i;
    }
    if (direct)
        return order;

    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&names](std::size_t a, std::size_t b) {
        const std::u16string_view na = names[a], nb = names[b];
        const bool numberA = IsNumberName(na), numberB = IsNumberName(nb);
        if (numberA != numberB)
            return numberA;
        return numberA && NumberLess(na, nb);
    });
    return order;
}

} // namespace

bool IsObjectError(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const EQVException&) {
        return true;
    } catch (const EConvertError&) {
        return true;
    } catch (...) {
        return false;
    }
}

std::vector<std::size_t> ListOrder(std::vector<std::u16string> names) {
    // The folder's order: the order stored, sorted stably by name as a folder sorts its items.
    // The container keeps names sorted as text ("0", "1", "10", "2"), which would shuffle every
    // list of more than ten objects; the written order puts the numbers back by value.
    std::vector<std::size_t> folderOrder(names.size());
    for (std::size_t i = 0; i < folderOrder.size(); ++i)
        folderOrder[i] = i;
    const auto less = [&names](std::size_t a, std::size_t b) {
        return TQVCFFolder::CompareNames(names[a], names[b]) < 0;
    };
    if (!std::is_sorted(folderOrder.begin(), folderOrder.end(), less))
        std::stable_sort(folderOrder.begin(), folderOrder.end(), less);
    std::vector<std::u16string_view> sorted;
    sorted.reserve(names.size());
    for (const std::size_t i : folderOrder)
        sorted.push_back(names[i]);
    std::vector<std::size_t> order = WrittenOrder(sorted);
    for (std::size_t& position : order)
        position = folderOrder[position];
    return order;
}

} // namespace QVItems
