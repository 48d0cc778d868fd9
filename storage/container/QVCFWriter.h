#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class TQVCFFolder;

// Where a stored object writes its items: a folder of an item tree (TQVCFTreeWriter), or a
// container body that is encoded as it is written, without a tree (TQVCFStreamedBody). A folder
// holds its items sorted by TQVCFFolder::CompareItems, whatever order they are written in.
class TQVCFWriter {
public:
    // Writes the items of the list's folder `index`.
    using TWriteEach = std::function<void(int index, TQVCFWriter& folder)>;

    virtual ~TQVCFWriter() = default;

    // A file item holding `data`.
    virtual void File(std::u16string_view name, std::string_view data) = 0;
    // A file item holding `text` as UTF-16LE bytes.
    virtual void Text(std::u16string_view name, std::u16string_view text) = 0;
    // A folder holding `count` folders named "0" to count-1, each filled by `write`. A writer may
    // call `write` after List has returned, as long as it is writing the enclosing folder: it
    // must not refer to anything that ends with the caller's call.
    virtual void List(std::u16string_view name, int count, const TWriteEach& write) = 0;
    // List for folders that `write` may fill at the same time on several threads, because it
    // only reads what nothing changes meanwhile. A writer may still fill them one by one.
    virtual void ConcurrentList(std::u16string_view name, int count, const TWriteEach& write) {
        List(name, count, write);
    }
};

// Writes into a folder of an item tree: each item becomes a child of it.
class TQVCFTreeWriter final : public TQVCFWriter {
public:
    explicit TQVCFTreeWriter(TQVCFFolder& folder) : FFolder(folder) {}

    void File(std::u16string_view name, std::string_view data) override;
    void Text(std::u16string_view name, std::u16string_view text) override;
    void List(std::u16string_view name, int count, const TWriteEach& write) override;

private:
    TQVCFFolder& FFolder;
};

namespace QVCFList {

// The longest decimal name of a list index.
constexpr std::size_t MaxNameUnits = 10;

// The decimal name of `index` into `units`; returns its length.
inline std::size_t IndexName(int index, char16_t (&units)[MaxNameUnits]) {
    char16_t reversed[MaxNameUnits];
    std::size_t length = 0;
    auto value = static_cast<std::uint32_t>(index);
    do {
        reversed[length++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (std::size_t i = 0; i < length; ++i)
        units[i] = reversed[length - 1 - i];
    return length;
}

// The index after `index` when 0 to count-1 are taken in the order their decimal names sort
// ("0", "1", "10", "100", "101", ..., "11", ..., "2", ...); count when `index` is the last.
inline int NextIndex(int index, int count) {
    const std::int64_t last = std::int64_t{count} - 1;
    std::int64_t n = index;
    if (n == 0)
        return last >= 1 ? 1 : count;
    // After n comes n followed by a zero when that is still in range; else the next number up
    // (up from n's parent when n is the last), without its trailing zeros: after 19 comes 2.
    if (n * 10 <= last)
        return static_cast<int>(n * 10);
    if (n >= last)
        n /= 10;
    if (n == 0)
        return count;
    ++n;
    while (n % 10 == 0)
        n /= 10;
    return n == 1 ? count : static_cast<int>(n);
}

// Calls `visit` for 0 to count-1 in that order: the order the list's folder keeps them in, so
// that writing them in it spares the folder a sort and lets an encoder write them as they come.
template <class F> void ForEachIndex(int count, F&& visit) {
    for (int index = 0; index < count; index = NextIndex(index, count))
        visit(index);
}

} // namespace QVCFList
