#include "storage/container/QVCFNames.h"

#include <algorithm>

#include "storage/QVUtils.h"

namespace QVCFNames {

namespace {

bool IsSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

int FoldAscii(unsigned c) {
    return static_cast<int>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
}

// CompareText over the narrow (UTF-8) forms: bytes compared unsigned, ASCII letters folded.
int CompareNarrow(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ca = FoldAscii(static_cast<unsigned char>(a[i]));
        const int cb = FoldAscii(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// The same order straight from the code units, which holds while no surrogate (UTF-16 and UTF-8
// order differ there) and no U+0000 (the narrow form ends at it) is involved. Returns false when
// the narrow forms must be compared instead.
bool CompareWide(std::u16string_view a, std::u16string_view b, int& result) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t ua = a[i], ub = b[i];
        if (ua == 0 || ub == 0 || IsSurrogate(ua) || IsSurrogate(ub))
            return false;
        const int ca = FoldAscii(ua), cb = FoldAscii(ub);
        if (ca != cb) {
            result = ca < cb ? -1 : 1;
            return true;
        }
    }
    // A zero in the longer name's rest would cut its narrow form back to the common part.
    const std::u16string_view rest = a.size() > n ? a.substr(n) : b.substr(n);
    if (rest.find(u'\0') != std::u16string_view::npos)
        return false;
    result = a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
    return true;
}

bool Plain(char16_t unit) {
    return unit != 0 && !IsSurrogate(unit);
}

} // namespace

std::u16string Decode(const std::uint8_t* name, std::size_t size) {
    std::u16string text;
    text.reserve((size + 1) / 2);
    for (std::size_t i = 0; i < size; i += 2) {
        const unsigned high = i + 1 < size ? name[i + 1] : 0u;
        const auto unit = static_cast<char16_t>(name[i] | high << 8);
        if (unit == 0)
            break;
        text.push_back(unit);
    }
    return text;
}

int Compare(std::u16string_view a, std::u16string_view b) {
    int result;
    if (CompareWide(a, b, result))
        return result;
    return CompareNarrow(QVUtils::WideToAnsi(a), QVUtils::WideToAnsi(b));
}

bool Same(std::u16string_view a, std::u16string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t ua = a[i], ub = b[i];
        if (ua == ub && Plain(ua))
            continue;
        if (!Plain(ua) || !Plain(ub))
            return Compare(a, b) == 0;
        if (FoldAscii(ua) != FoldAscii(ub))
            return false;
    }
    if (a.size() == b.size())
        return true;
    // A zero or a surrogate in the longer name's rest could still end or change its narrow form.
    const std::u16string_view rest = a.size() > n ? a.substr(n) : b.substr(n);
    return !Plain(rest[0]) && Compare(a, b) == 0;
}

} // namespace QVCFNames
