#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "storage/QVBase.h"

// One language table: keys such as "MNU_FILE" with their texts, and the language's id, title and
// description. A language file is an unprotected container whose root is the table.
class TQVStringKeeper : public TQVBase {
public:
    static std::string_view ClassTypeName() { return "str"; }
    std::string_view GetTypeName() const override { return ClassTypeName(); }
    void WriteContents(TQVCFWriter& folder) override;
    void ReadContents(TQVCFReader& folder) override;

    // Appends a pair and returns its index; keys may repeat (the first one wins in lookups).
    int AddString(std::u16string key, std::u16string text);
    void Clear();
    int Count() const { return static_cast<int>(FKeys.size()); }
    const std::u16string& GetKey(int index) const;
    const std::u16string& GetText(int index) const;

    // The text of the first key equal to `key` without regard to case, else `defaultText`.
    void GetString(std::u16string_view key, std::u16string_view defaultText,
                   std::u16string& result) const;

    // Reads the table from a language file; raises the container's errors, and EQVException
    // "Invalid object" when the file holds no table.
    void LoadFromFile(const std::string& fileName);

    std::u16string Title;
    std::u16string Description;
    std::string Id;

private:
    std::vector<std::u16string> FKeys;
    std::vector<std::u16string> FTexts;
};
