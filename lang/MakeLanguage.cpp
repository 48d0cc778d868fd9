// qv_makelang SOURCE OUTPUT
//
// Turns a language source (see the header of English.txt for its format) into the language file
// the program loads: an unprotected container whose root is the table. Every malformed line is
// reported as "file:line: message" and fails the run, so a broken source fails the build.

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/QVStringKeeper.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/TextConv.h"
#include "storage/container/QVCompoundFile.h"

namespace {

struct TSource {
    std::optional<std::string> Id;
    std::optional<std::u16string> Title;
    std::optional<std::u16string> Description;
    std::vector<std::pair<std::u16string, std::u16string>> Pairs;
};

class TParser {
public:
    explicit TParser(std::string fileName) : FFileName(std::move(fileName)) {}

    TSource Parse(std::string_view text);
    int ErrorCount() const { return FErrors; }

private:
    void ParseLine(std::string_view line);
    void Error(const std::string& message);
    std::optional<std::u16string> Unescape(std::string_view value);
    template <class T> void SetOnce(std::optional<T>& field, T value, std::string_view name);

    std::string FFileName;
    int FLine = 0;
    int FErrors = 0;
    TSource FSource;
    // Upper-cased key -> line of its first definition; lookups ignore case, so must this.
    std::map<std::string, int> FKeyLines;
};

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool IsWordChar(char c, bool allowDash) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           (allowDash && c == '-');
}

bool IsWord(std::string_view s, bool allowDash) {
    if (s.empty())
        return false;
    for (char c : s) {
        if (!IsWordChar(c, allowDash))
            return false;
    }
    return true;
}

// Line 0 stands for the file as a whole.
void TParser::Error(const std::string& message) {
    if (FLine > 0)
        std::fprintf(stderr, "%s:%d: %s\n", FFileName.c_str(), FLine, message.c_str());
    else
        std::fprintf(stderr, "%s: %s\n", FFileName.c_str(), message.c_str());
    ++FErrors;
}

std::optional<std::u16string> TParser::Unescape(std::string_view value) {
    std::string plain;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            plain += value[i];
            continue;
        }
        if (++i == value.size()) {
            Error("a backslash ends the line");
            return std::nullopt;
        }
        switch (value[i]) {
        case 's':
            plain += ' ';
            break;
        case 't':
            plain += '\t';
            break;
        case 'n':
            plain += '\n';
            break;
        case '\\':
            plain += '\\';
            break;
        default:
            Error(std::string("unknown escape \\") + value[i]);
            return std::nullopt;
        }
    }
    return TextConv::Utf8ToWide(plain);
}

template <class T> void TParser::SetOnce(std::optional<T>& field, T value, std::string_view name) {
    if (field)
        Error("@" + std::string(name) + " given twice");
    else
        field = std::move(value);
}

void TParser::ParseLine(std::string_view raw) {
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == '#')
        return;
    // The conversion replaces broken sequences, so a text that does not survive the round trip
    // was not UTF-8.
    const std::string bytes(line);
    if (TextConv::WideToUtf8(TextConv::Utf8ToWide(bytes)) != bytes) {
        Error("the line is not valid UTF-8");
        return;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        Error("expected KEY=Text, @id=, @title= or @description=");
        return;
    }
    const std::string_view name = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));

    if (!name.empty() && name.front() == '@') {
        const std::string_view directive = name.substr(1);
        if (directive == "id") {
            if (!IsWord(value, true))
                Error("@id must be letters, digits, \"-\" and \"_\"");
            else
                SetOnce(FSource.Id, std::string(value), directive);
        } else if (directive == "title" || directive == "description") {
            std::optional<std::u16string> text = Unescape(value);
            if (text)
                SetOnce(directive == "title" ? FSource.Title : FSource.Description, *text,
                        directive);
        } else {
            Error("unknown directive @" + std::string(directive));
        }
        return;
    }

    if (!IsWord(name, false)) {
        Error("invalid key \"" + std::string(name) + "\" (letters, digits and \"_\" only)");
        return;
    }
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    const auto [it, added] = FKeyLines.emplace(folded, FLine);
    if (!added) {
        Error("key " + std::string(name) + " already defined on line " +
              std::to_string(it->second));
        return;
    }
    std::optional<std::u16string> text = Unescape(value);
    if (text)
        FSource.Pairs.emplace_back(TextConv::Utf8ToWide(std::string(name)), std::move(*text));
}

TSource TParser::Parse(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    while (!text.empty()) {
        ++FLine;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        ParseLine(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    FLine = 0;
    if (!FSource.Id)
        Error("no @id given");
    if (!FSource.Title)
        Error("no @title given");
    if (FSource.Pairs.empty())
        Error("no KEY=Text lines");
    return std::move(FSource);
}

void WriteLanguageFile(const TSource& source, const std::string& fileName) {
    TQVStringKeeper table;
    table.Id = *source.Id;
    table.Title = *source.Title;
    table.Description = source.Description.value_or(std::u16string());
    for (const auto& [key, text] : source.Pairs)
        table.AddString(key, text);

    TQVCompoundFile container;
    table.SaveToFolder(container.Root());
    FileSystem::TAtomicFile file(fileName);
    container.SaveToStream(file.Stream());
    file.Commit();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qv_makelang SOURCE OUTPUT\n");
        return 2;
    }
    try {
        TParser parser(argv[1]);
        const TSource source = parser.Parse(FileSystem::ReadFile(argv[1]));
        if (parser.ErrorCount() > 0) {
            std::fprintf(stderr, "%s: %d error(s), %s not written\n", argv[1], parser.ErrorCount(),
                         argv[2]);
            return 1;
        }
        WriteLanguageFile(source, argv[2]);
    } catch (const Exception& e) {
        std::fprintf(stderr, "qv_makelang: %s\n", e.Message().c_str());
        return 1;
    }
    return 0;
}
