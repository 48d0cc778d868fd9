#include "platform/TextConv.h"

#include <locale>
#include <stdexcept>

namespace TextConv {

namespace {

constexpr char32_t ReplacementCharacter = 0xFFFD;

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The code point that starts at `i`, moving `i` past it; an unpaired surrogate gives U+FFFD.
char32_t NextCodePoint(const std::u16string& text, std::size_t& i) {
    char32_t unit = text[i++];
    if (IsHighSurrogate(unit)) {
        if (i < text.size() && IsLowSurrogate(text[i])) {
            char32_t low = text[i++];
            return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        return ReplacementCharacter;
    }
    return IsLowSurrogate(unit) ? ReplacementCharacter : unit;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

// The code point of the UTF-8 sequence at `i`, moving `i` past it. An ill-formed sequence gives
// one U+FFFD for its longest valid-looking start (at least one byte), so the byte that broke it
// is read again as the start of the next character. The allowed second-byte ranges exclude
// overlong forms, surrogates and values above U+10FFFF.
char32_t NextUtf8(const std::string& text, std::size_t& i) {
    auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) {
        return lead;
    }
    int length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    char32_t c;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
    } else {
        return ReplacementCharacter;
    }
    for (int k = 1; k < length; ++k) {
        if (i >= text.size()) {
            return ReplacementCharacter;
        }
        auto next = static_cast<unsigned char>(text[i]);
        if (next < low || next > high) {
            return ReplacementCharacter;
        }
        c = (c << 6) | (next & 0x3F);
        ++i;
        low = 0x80;
        high = 0xBF;
    }
    return c;
}

std::wstring ToWide32(const std::u16string& text) {
    static_assert(sizeof(wchar_t) == 4, "collation works on UTF-32 wchar_t");
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        out += static_cast<wchar_t>(NextCodePoint(text, i));
    }
    return out;
}

// The user's collation, looked up once. The C++ locale is built from the environment
// (LC_ALL, LC_COLLATE, LANG) on its own, so it does not depend on setlocale having been called;
// a locale name that the system does not know falls back to plain code-point order.
const std::collate<wchar_t>& UserCollation() {
    static const std::locale locale = [] {
        try {
            return std::locale("");
        } catch (const std::runtime_error&) {
            return std::locale::classic();
        }
    }();
    return std::use_facet<std::collate<wchar_t>>(locale);
}

} // namespace

std::string WideToUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        AppendUtf8(out, NextCodePoint(text, i));
    }
    return out;
}

std::u16string Utf8ToWide(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        AppendUtf16(out, NextUtf8(text, i));
    }
    return out;
}

int LocaleCompare(const std::u16string& a, const std::u16string& b) {
    std::wstring wideA = ToWide32(a);
    std::wstring wideB = ToWide32(b);
    int result = UserCollation().compare(wideA.data(), wideA.data() + wideA.size(), wideB.data(),
                                         wideB.data() + wideB.size());
    if (result == 0) {
        result = a.compare(b);
    }
    return result < 0 ? -1 : result > 0 ? 1 : 0;
}

} // namespace TextConv
