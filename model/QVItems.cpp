#include "model/QVItems.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "model/QVMoneyText.h"

#include "storage/QVBase.h"
#include "storage/QVCFItem.h"
#include "storage/QVCFWriter.h"
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

std::optional<std::string_view> Find(const TQVCFFolder& folder, std::u16string_view name) {
    std::string_view data;
    if (!folder.FindFileData(name, data))
        return std::nullopt;
    return data;
}

TValues::TValues(const TQVCFFolder& folder, const TQVCFFolder::TNameSet& names) {
    folder.FindFilesData(names, FData, FFound);
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

std::string ReadBytes(TQVCFFolder& folder, std::u16string_view name) {
    return std::string(Find(folder, name).value_or(std::string_view()));
}

std::u16string ReadText(TQVCFFolder& folder, std::u16string_view name) {
    return TextOf(Find(folder, name));
}

bool ReadBool(TQVCFFolder& folder, std::u16string_view name, bool missing) {
    return BoolOf(Find(folder, name), missing);
}

std::int32_t ReadInt(TQVCFFolder& folder, std::u16string_view name, std::int32_t fallback) {
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

double ReadDate(TQVCFFolder& folder, std::u16string_view name, double missing) {
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

// The container keeps names sorted as text ("0", "1", "10", "2"), which would shuffle every list
// of more than ten objects. Returns the positions of `names` in the order written.
std::vector<std::size_t> ListOrder(const std::vector<std::u16string_view>& names) {
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

std::vector<TQVCFFolder*> ListFolders(TQVCFFolder& folder) {
    std::vector<TQVCFFolder*> children;
    std::vector<std::u16string_view> names;
    for (int i = 0; i < folder.Count(); ++i) {
        TQVCFItem* item = folder.GetItem(i);
        if (item->IsFolder()) {
            children.push_back(static_cast<TQVCFFolder*>(item));
            names.push_back(item->Name);
        }
    }
    std::vector<TQVCFFolder*> ordered;
    ordered.reserve(children.size());
    for (std::size_t i : ListOrder(names))
        ordered.push_back(children[i]);
    return ordered;
}

void ForEachListFolder(TQVCFFolder& folder, const std::function<void(TQVCFFolder&)>& visit) {
    std::vector<TQVCFFolder::TPackedFolder> packed;
    if (!folder.PackedFolders(packed)) {
        for (TQVCFFolder* child : ListFolders(folder))
            visit(*child);
        return;
    }
    std::vector<std::u16string_view> names;
    names.reserve(packed.size());
    for (const auto& child : packed)
        names.push_back(child.Name);
    TQVCFFolder view;
    const std::vector<std::size_t> order = ListOrder(names);
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i + 1 < order.size())
            TQVCFFolder::Prefetch(packed[order[i + 1]]);
        folder.ViewFolder(packed[order[i]], view);
        visit(view);
    }
}

void DrainListFolders(TQVCFFolder& folder,
                      const std::function<void(std::size_t place, TQVCFFolder&)>& visit,
                      bool concurrent) {
    std::vector<TQVCFFolder::TPackedFolder> packed;
    if (!folder.PackedFolders(packed)) {
        const std::vector<TQVCFFolder*> children = ListFolders(folder);
        for (std::size_t place = 0; place < children.size(); ++place)
            visit(place, *children[place]);
        folder.Clear();
        return;
    }
    std::vector<std::u16string_view> names;
    names.reserve(packed.size());
    for (const auto& child : packed)
        names.push_back(child.Name);
    const std::vector<std::size_t> order = ListOrder(names);
    std::vector<std::size_t> place(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        place[order[i]] = i;
    folder.DrainFolders(
        packed,
        [&place, &visit](std::size_t index, TQVCFFolder& view) { visit(place[index], view); },
        concurrent);
}

} // namespace QVItems
