#pragma once

#include <string>

// Conversions between the program's UTF-16 texts and the platform's narrow encoding (UTF-8),
// and locale-aware comparison.
namespace TextConv {

// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD; the whole text is converted, zero code
// units included.
std::string WideToUtf8(const std::u16string& text);

// UTF-8 to UTF-16. Invalid sequences become U+FFFD.
std::u16string Utf8ToWide(const std::string& text);

// Compares two texts by the user's locale (LC_COLLATE), with the full lengths counted: -1, 0 or 1.
// Texts that the locale collates equal but that differ in their code units compare by code units,
// so 0 means equal.
int LocaleCompare(const std::u16string& a, const std::u16string& b);

} // namespace TextConv
