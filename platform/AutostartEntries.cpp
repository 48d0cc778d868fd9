#include "platform/AutostartEntries.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/RegistryFile.h"

namespace Registry::Detail {

namespace {

constexpr std::string_view EntryGroup = "[Desktop Entry]";
constexpr std::string_view EntryValueKey = "X-Quillvane-Value";

struct TAutostartEntry {
    std::string FileName;
    std::string Name;
    std::string Value;
};

// The general escapes of desktop entry string values.
std::string EscapeEntryValue(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (c == ' ' && (i == 0 || i + 1 == text.size()))
            out += "\\s"; // a blank at either end would be taken for padding and trimmed
        else
            out += c;
    }
    return out;
}

std::string UnescapeEntryValue(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const char next = text[++i];
        if (next == 's')
            out += ' ';
        else if (next == 'n')
            out += '\n';
        else if (next == 't')
            out += '\t';
        else if (next == 'r')
            out += '\r';
        else if (next == '\\')
            out += '\\';
        else {
            out += '\\';
            out += next;
        }
    }
    return out;
}

// Only entries carrying the stored command line are ours.
bool ParseEntry(std::string_view text, TAutostartEntry& entry) {
    bool inGroup = false;
    bool hasValue = false;
    for (std::string_view line : SplitLines(text)) {
        line = Trim(line);
        if (!line.empty() && line[0] == '[') {
            inGroup = line == EntryGroup;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inGroup || equals == std::string_view::npos)
            continue;
        const std::string_view key = TrimRight(line.substr(0, equals));
        const std::string_view value = TrimLeft(line.substr(equals + 1));
        if (key == "Name") {
            entry.Name = UnescapeEntryValue(value);
        } else if (key == EntryValueKey) {
            entry.Value = UnescapeEntryValue(value);
            hasValue = true;
        }
    }
    return hasValue;
}

std::vector<TAutostartEntry> ReadEntries(const std::string& folder) {
    std::vector<TAutostartEntry> entries;
    if (folder.empty())
        return entries;
    try {
        for (const FileSystem::TDirEntry& file : FileSystem::FindFiles(folder, "*.desktop")) {
            TAutostartEntry entry;
            if (!file.IsFolder &&
                ParseEntry(FileSystem::ReadFile(folder + "/" + file.Name), entry)) {
                entry.FileName = file.Name;
                entries.push_back(std::move(entry));
            }
        }
    } catch (const Exception&) {
        // An unreadable folder or entry hides the entries; nothing here is written over.
    }
    return entries;
}

const TAutostartEntry* FindEntry(const std::vector<TAutostartEntry>& entries,
                                 std::string_view name) {
    for (const TAutostartEntry& entry : entries) {
        if (SameText(entry.Name, name))
            return &entry;
    }
    return nullptr;
}

// The stored command line is a Windows one: the program's path unquoted, spaces and all, then
// the arguments. As the Windows loader does, the shortest prefix ending at a blank that names an
// existing file is the program; failing that, the first word.
std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> args;
    line = TrimLeft(line);
    std::size_t rest;
    if (!line.empty() && line[0] == '"') {
        const std::size_t close = line.find('"', 1);
        args.emplace_back(line.substr(1, close == std::string_view::npos ? close : close - 1));
        rest = close == std::string_view::npos ? line.size() : close + 1;
    } else {
        rest = std::string_view::npos;
        for (std::size_t p = line.find(' '); p != std::string_view::npos;
             p = line.find(' ', p + 1)) {
            if (FileSystem::FileExists(std::string(line.substr(0, p)))) {
                rest = p;
                break;
            }
        }
        if (rest == std::string_view::npos)
            rest = FileSystem::FileExists(std::string(line))
                       ? line.size()
                       : std::min(line.find_first_of(" \t"), line.size());
        args.emplace_back(line.substr(0, rest));
    }
    std::string arg;
    bool inArg = false;
    bool quoted = false;
    for (std::size_t i = rest; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            quoted = !quoted;
            inArg = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inArg)
                args.push_back(std::move(arg));
            arg.clear();
            inArg = false;
        } else {
            arg += c;
            inArg = true;
        }
    }
    if (inArg)
        args.push_back(std::move(arg));
    return args;
}

// One argument of an Exec line: quoted when it holds a reserved character (the program always),
// with "%" doubled so that it is not taken for a field code.
std::string QuoteExecArgument(std::string_view arg, bool always) {
    const bool quote = always || arg.empty() ||
                       arg.find_first_of(" \t\n\"'\\><~|&;$*?#()`=") != std::string_view::npos;
    std::string out;
    if (quote)
        out += '"';
    for (char c : arg) {
        if (c == '%')
            out += '%';
        else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            out += '\\';
        out += c;
    }
    if (quote)
        out += '"';
    return out;
}

std::string FormatEntry(std::string_view name, std::string_view commandLine) {
    std::string exec;
    const std::vector<std::string> args = SplitCommandLine(commandLine);
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0)
            exec += ' ';
        exec += QuoteExecArgument(args[i], i == 0);
    }
    std::string out(EntryGroup);
    out += "\nType=Application\nName=" + EscapeEntryValue(name);
    out += "\nExec=" + EscapeEntryValue(exec);
    out += "\n" + std::string(EntryValueKey) + "=" + EscapeEntryValue(commandLine) + "\n";
    return out;
}

// "Quillvane autostart" -> "quillvane-autostart".
std::string EntryBaseName(std::string_view name) {
    std::string base;
    for (char c : name) {
        c = FoldCase(c);
        const bool keep = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
        base += keep ? c : '-';
    }
    return base.empty() ? "entry" : base;
}

} // namespace

LONG QueryEntry(std::string_view name, std::string& commandLine) {
    const std::vector<TAutostartEntry> entries = ReadEntries(AutostartFolder());
    const TAutostartEntry* entry = FindEntry(entries, name);
    if (entry == nullptr)
        return ERROR_FILE_NOT_FOUND;
    commandLine = entry->Value;
    return ERROR_SUCCESS;
}

LONG SetEntry(std::string_view name, std::string_view commandLine) {
    const std::string folder = AutostartFolder();
    if (folder.empty() || !FileSystem::ForceFolders(folder, 0700))
        return ERROR_ACCESS_DENIED;
    const std::vector<TAutostartEntry> entries = ReadEntries(folder);
    std::string fileName;
    if (const TAutostartEntry* entry = FindEntry(entries, name)) {
        fileName = entry->FileName;
    } else {
        // Never over another program's entry that happens to have the name.
        const std::string base = EntryBaseName(name);
        for (int n = 1; fileName.empty() && n < 1000; ++n) {
            std::string candidate = base + (n > 1 ? "-" + std::to_string(n) : "") + ".desktop";
            if (!PathExists(folder + "/" + candidate))
                fileName = std::move(candidate);
        }
        if (fileName.empty())
            return ERROR_ACCESS_DENIED;
    }
    return WriteFileSafely(folder + "/" + fileName, FormatEntry(name, commandLine), 0644);
}

LONG DeleteEntry(std::string_view name) {
    const std::string folder = AutostartFolder();
    const std::vector<TAutostartEntry> entries = ReadEntries(folder);
    const TAutostartEntry* entry = FindEntry(entries, name);
    if (entry == nullptr)
        return ERROR_FILE_NOT_FOUND;
    return FileSystem::DeleteFile(folder + "/" + entry->FileName) ? ERROR_SUCCESS
                                                                  : ErrorFromErrno(errno);
}

} // namespace Registry::Detail
