#include "platform/RegistryFile.h"

#include <cerrno>
#include <cstdio>

#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"

namespace Registry::Detail {

namespace {

constexpr std::string_view RootName = "HKEY_CURRENT_USER";
constexpr std::string_view FileHeader = "Windows Registry Editor Version 5.00";

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = FoldCase(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

char FoldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    }
    return true;
}

bool StartsWithText(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

std::string_view TrimLeft(std::string_view text) {
    const std::size_t p = text.find_first_not_of(" \t");
    return p == std::string_view::npos ? std::string_view() : text.substr(p);
}

std::string_view TrimRight(std::string_view text) {
    const std::size_t p = text.find_last_not_of(" \t\r");
    return p == std::string_view::npos ? std::string_view() : text.substr(0, p + 1);
}

std::string_view Trim(std::string_view text) {
    return TrimRight(TrimLeft(text));
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool PathExists(const std::string& path) {
    return FileSystem::FileExists(path) || Folders::FolderExists(path);
}

std::string NormalisePath(std::string_view path) {
    std::string result;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start) {
            if (!result.empty())
                result += '\\';
            result += path.substr(start, end - start);
        }
        start = end + 1;
    }
    return result;
}

bool HasControlCharacters(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20)
            return true;
    }
    return false;
}

LONG ErrorFromErrno(int code) {
    switch (code) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    default:
        return ERROR_WRITE_FAULT;
    }
}

LONG WriteFileSafely(const std::string& path, const std::string& bytes, unsigned mode) {
    try {
        FileSystem::WriteFileAtomic(path, bytes, mode);
        return ERROR_SUCCESS;
    } catch (const EOSError& error) {
        return ErrorFromErrno(error.ErrorCode());
    } catch (const Exception&) {
        return ERROR_WRITE_FAULT;
    }
}

TKey* FindKey(TKeyList& keys, std::string_view path) {
    for (TKey& key : keys) {
        if (SameText(key.Path, path))
            return &key;
    }
    return nullptr;
}

TValue* FindValue(TKey& key, std::string_view name) {
    for (TValue& value : key.Values) {
        if (SameText(value.Name, name))
            return &value;
    }
    return nullptr;
}

void SetKeyValue(TKey& key, std::string_view name, DWORD type, std::string_view data) {
    TValue* value = FindValue(key, name);
    if (value == nullptr) {
        key.Values.push_back({std::string(name), type, std::string(data)});
    } else {
        value->Type = type;
        value->Data = data;
    }
}

namespace {

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
}

void AppendHexList(std::string& out, std::string_view data) {
    static const char Digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i > 0)
            out += ',';
        const auto byte = static_cast<unsigned char>(data[i]);
        out += Digits[byte >> 4];
        out += Digits[byte & 0x0F];
    }
}

std::string FormatStore(const TKeyList& keys) {
    std::string out(FileHeader);
    out += '\n';
    for (const TKey& key : keys) {
        out += "\n[";
        out += RootName;
        if (!key.Path.empty()) {
            out += '\\';
            out += key.Path;
        }
        out += "]\n";
        for (const TValue& value : key.Values) {
            if (value.Name.empty())
                out += '@';
            else
                AppendQuoted(out, value.Name);
            out += '=';
            // A string with control characters or zero bytes would not survive a quoted line; it is
            // kept in hex(1) form, which holds the value's bytes as they are.
            if (value.Type == REG_SZ && !HasControlCharacters(value.Data)) {
                AppendQuoted(out, value.Data);
            } else if (value.Type == REG_DWORD && value.Data.size() == 4) {
                static const char Digits[] = "0123456789abcdef";
                out += "dword:";
                for (int i = 3; i >= 0; --i) {
                    const auto byte = static_cast<unsigned char>(value.Data[i]);
                    out += Digits[byte >> 4];
                    out += Digits[byte & 0x0F];
                }
            } else {
                if (value.Type == REG_BINARY) {
                    out += "hex:";
                } else {
                    char type[16];
                    std::snprintf(type, sizeof type, "hex(%x):", value.Type);
                    out += type;
                }
                AppendHexList(out, value.Data);
            }
            out += '\n';
        }
    }
    return out;
}

// Reads a quoted text starting at the opening quote at `pos`; false when it is not closed.
bool ParseQuoted(std::string_view line, std::size_t& pos, std::string& text) {
    ++pos;
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == '"')
            return true;
        if (c == '\\' && pos < line.size())
            c = line[pos++];
        text += c;
    }
    return false;
}

// "01,ab, 7f" -> bytes; a trailing comma is allowed, anything else out of place is not.
bool ParseHexList(std::string_view list, std::string& data) {
    list = Trim(list);
    if (list.empty())
        return true;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string_view::npos)
            end = list.size();
        const std::string_view token = Trim(list.substr(start, end - start));
        if (token.empty()) {
            if (end != list.size() || start == 0)
                return false;
            break;
        }
        if (token.size() > 2)
            return false;
        int byte = 0;
        for (char c : token) {
            const int digit = HexDigit(c);
            if (digit < 0)
                return false;
            byte = byte * 16 + digit;
        }
        data += static_cast<char>(byte);
        start = end + 1;
    }
    return true;
}

bool ParseValueLine(std::string_view line, TValue& value) {
    std::size_t pos = 0;
    if (line.empty())
        return false;
    if (line[0] == '@') {
        pos = 1;
    } else if (line[0] != '"' || !ParseQuoted(line, pos, value.Name)) {
        return false;
    }
    std::string_view rest = TrimLeft(line.substr(pos));
    if (rest.empty() || rest[0] != '=')
        return false;
    rest = Trim(rest.substr(1));

    if (!rest.empty() && rest[0] == '"') {
        pos = 0;
        value.Type = REG_SZ;
        return ParseQuoted(rest, pos, value.Data) && pos == rest.size();
    }
    if (StartsWithText(rest, "dword:")) {
        const std::string_view digits = rest.substr(6);
        if (digits.empty() || digits.size() > 8)
            return false;
        std::uint32_t number = 0;
        for (char c : digits) {
            const int digit = HexDigit(c);
            if (digit < 0)
                return false;
            number = number * 16 + static_cast<std::uint32_t>(digit);
        }
        value.Type = REG_DWORD;
        for (int i = 0; i < 4; ++i)
            value.Data += static_cast<char>((number >> (8 * i)) & 0xFF);
        return true;
    }
    if (StartsWithText(rest, "hex:")) {
        value.Type = REG_BINARY;
        return ParseHexList(rest.substr(4), value.Data);
    }
    if (StartsWithText(rest, "hex(")) {
        const std::size_t close = rest.find("):");
        if (close == std::string_view::npos || close == 4 || close > 12)
            return false;
        DWORD type = 0;
        for (char c : rest.substr(4, close - 4)) {
            const int digit = HexDigit(c);
            if (digit < 0)
                return false;
            type = type * 16 + static_cast<DWORD>(digit);
        }
        value.Type = type;
        return ParseHexList(rest.substr(close + 2), value.Data);
    }
    return false;
}

// "[HKEY_CURRENT_USER\Software\...]" -> "Software\..."; false for other roots and deletions.
bool ParseKeyLine(std::string_view line, std::string& path) {
    line = TrimRight(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']')
        return false;
    const std::string_view inner = line.substr(1, line.size() - 2);
    const std::size_t slash = inner.find('\\');
    if (!SameText(inner.substr(0, slash), RootName))
        return false;
    path = slash == std::string_view::npos ? std::string() : NormalisePath(inner.substr(slash + 1));
    return true;
}

} // namespace

LONG LoadStore(const std::string& fileName, TKeyList& keys) {
    keys.clear();
    if (fileName.empty())
        return ERROR_SUCCESS;
    std::string text;
    try {
        text = FileSystem::ReadFile(fileName);
    } catch (const EOSError& error) {
        if (error.ErrorCode() == ENOENT || error.ErrorCode() == ENOTDIR)
            return ERROR_SUCCESS;
        return ERROR_ACCESS_DENIED;
    }
    std::string_view view = text;
    if (view.substr(0, 3) == "\xEF\xBB\xBF")
        view.remove_prefix(3);

    const std::vector<std::string_view> lines = SplitLines(view);
    std::size_t current = keys.size(); // none: values outside a usable key are skipped
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line(TrimLeft(lines[i]));
        // A long hex list goes on over indented lines, each but the last ending in ",\".
        for (;;) {
            const std::string_view end = TrimRight(line);
            if (end.empty() || end.back() != '\\' || end.size() < 2 ||
                (end[end.size() - 2] != ',' && end[end.size() - 2] != ':') ||
                i + 1 >= lines.size() || TrimLeft(lines[i + 1]).substr(0, 1) == "[")
                break;
            line.resize(end.size() - 1);
            line += TrimLeft(lines[++i]);
        }
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            std::string path;
            current = keys.size();
            if (!ParseKeyLine(line, path))
                continue;
            TKey* key = FindKey(keys, path);
            if (key == nullptr) {
                keys.push_back({path, {}});
                key = &keys.back();
            }
            current = static_cast<std::size_t>(key - keys.data());
            continue;
        }
        TValue value;
        if (current < keys.size() && ParseValueLine(line, value))
            SetKeyValue(keys[current], value.Name, value.Type, value.Data);
    }
    return ERROR_SUCCESS;
}

LONG SaveStore(const std::string& fileName, const TKeyList& keys) {
    if (fileName.empty() || !FileSystem::ForceFolders(FolderOf(fileName), 0700))
        return ERROR_ACCESS_DENIED;
    return WriteFileSafely(fileName, FormatStore(keys), 0600);
}

} // namespace Registry::Detail
