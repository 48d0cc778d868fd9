#include "model/QVItems.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>
#include <utility>

#include "model/QVMoneyText.h"
#include "storage/QVBase.h"
#include "storage/QVException.h"
#include "storage/QVUtils.h"
#include "storage/container/QVCFItem.h"
#include "storage/container/QVCFWriter.h"

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

void TListOrder::Add(std::size_t index, std::u16string_view name) {
    std::uint32_t number = 0;
    const bool plain = !name.empty() && name.size() <= 9 && (name.size() == 1 || name[0] != u'0') &&
                       IsNumberName(name);
    for (std::size_t i = 0; plain && i < name.size(); ++i)
        number = number * 10 + static_cast<std::uint32_t>(name[i] - u'0');
    if (!plain) {
        number = NoNumber;
        FOthers.emplace_back(FNotes.size(), name);
    }
    FNotes.push_back({static_cast<std::uint32_t>(index), number});
}

std::vector<std::size_t> TListOrder::Order() const {
    // As the program writes them, the names are exactly 0..n-1: each goes straight to its place.
    const std::size_t count = FNotes.size();
    std::vector<std::size_t> order(count, count);
    bool direct = FOthers.empty();
    for (std::size_t i = 0; direct && i < count; ++i) {
        const std::uint32_t number = FNotes[i].Number;
        direct = number < count && order[number] == count;
        if (direct)
            order[number] = i;
    }
    if (direct)
        return order;

    // Any other names: numbers by value first, then the rest; among equals, the order a folder
    // sorts its items in (by name, then as stored).
    std::vector<std::u16string> names(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string digits = std::to_string(FNotes[i].Number);
        names[i].assign(digits.begin(), digits.end());
    }
    for (const auto& [note, name] : FOthers)
        names[note] = name;
    for (std::size_t i = 0; i < count; ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [this, &names](std::size_t a, std::size_t b) {
        const std::u16string_view na = names[a], nb = names[b];
        const bool numberA = IsNumberName(na), numberB = IsNumberName(nb);
        if (numberA != numberB)
            return numberA;
        if (numberA && NumberLess(na, nb))
            return true;
        if (numberA && NumberLess(nb, na))
            return false;
        const int byName = TQVCFFolder::CompareNames(na, nb);
        return byName != 0 ? byName < 0 : FNotes[a].Index < FNotes[b].Index;
    });
    return order;
}

std::vector<std::unique_ptr<TQVBase>>
ReadObjects(TQVCFReader& folder,
            const std::function<std::unique_ptr<TQVBase>(std::size_t index, TQVCFReader&)>& make,
            bool concurrent) {
    std::vector<std::unique_ptr<TQVBase>> made;
    TListOrder order;
    std::mutex lock;
    folder.Folders(
        [&](std::size_t index, std::u16string_view name, TQVCFReader& child) {
            std::unique_ptr<TQVBase> object = make(index, child);
            const std::lock_guard<std::mutex> hold(lock);
            order.Add(index, name);
            made.push_back(std::move(object));
        },
        concurrent);
    // Put in order where they are, following each cycle of the order: the open holds no second
    // list beside them.
    std::vector<std::size_t> positions = order.Order();
    for (std::size_t start = 0; start < positions.size(); ++start) {
        if (positions[start] == start || positions[start] == SIZE_MAX)
            continue;
        std::unique_ptr<TQVBase> first = std::move(made[start]);
        std::size_t i = start;
        while (positions[i] != start) {
            made[i] = std::move(made[positions[i]]);
            i = std::exchange(positions[i], SIZE_MAX);
        }
        made[i] = std::move(first);
        positions[i] = SIZE_MAX;
    }
    std::erase(made, nullptr);
    return made;
}

} // namespace QVItems
