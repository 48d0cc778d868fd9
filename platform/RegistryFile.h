#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

// The pieces behind the registry calls: the text helpers they share, and the registry file in the
// regedit syntax. Only the registry's own units use these.
namespace Registry::Detail {

// ASCII case folding, which is how key and value names compare.
char FoldCase(char c);
bool SameText(std::string_view a, std::string_view b);
bool StartsWithText(std::string_view text, std::string_view prefix);
std::string_view TrimLeft(std::string_view text);
std::string_view TrimRight(std::string_view text);
std::string_view Trim(std::string_view text);
// Lines split at LF, a CR before it dropped.
std::vector<std::string_view> SplitLines(std::string_view text);
std::string FolderOf(const std::string& path);
bool PathExists(const std::string& path);
// Characters below U+0020, zero bytes included; key and value names cannot hold them, since each
// takes one line of the file.
bool HasControlCharacters(std::string_view text);
// "a\\b\" -> "a\b": empty components are dropped.
std::string NormalisePath(std::string_view path);

// The Windows error code for an errno of a failed write.
LONG ErrorFromErrno(int code);
// Writes through a temporary file; a failure leaves the previous file as it was.
LONG WriteFileSafely(const std::string& path, const std::string& bytes, unsigned mode);

struct TValue {
    std::string Name;
    DWORD Type = REG_NONE;
    std::string Data;
};

struct TKey {
    std::string Path;
    std::vector<TValue> Values; // in the order they were first set
};

using TKeyList = std::vector<TKey>;

TKey* FindKey(TKeyList& keys, std::string_view path);
TValue* FindValue(TKey& key, std::string_view name);
void SetKeyValue(TKey& key, std::string_view name, DWORD type, std::string_view data);

// The file's keys. A missing file is an empty registry and a damaged line is skipped; an
// unreadable file gives ERROR_ACCESS_DENIED, so that nothing is written over it later.
LONG LoadStore(const std::string& fileName, TKeyList& keys);
// Writes the whole file (mode 0600, folder 0700) in place of the old one.
LONG SaveStore(const std::string& fileName, const TKeyList& keys);

} // namespace Registry::Detail
