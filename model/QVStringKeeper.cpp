#include "model/QVStringKeeper.h"

#include "model/QVItems.h"
#include "storage/QVException.h"
#include "storage/container/QVCFWriter.h"
#include "storage/container/QVCompoundFile.h"

namespace {

// Simple one-to-one lower-case mapping for the letters of the Latin, Greek, Cyrillic and
// Armenian blocks and the full-width Latin letters; everything else maps to itself. Keys are
// plain ASCII in practice, so this errs on the side of being small rather than complete.
char16_t LowerCase(char16_t c) {
    if (c < 0x80)
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    if (c >= 0xC0 && c <= 0xDE)
        return c == 0xD7 ? c : static_cast<char16_t>(c + 32);
    if (c >= 0x100 && c <= 0x17F) {
        // Dotted and dotless i, kra, n preceded by apostrophe and long s have no simple pair.
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        if (c == 0x178)
            return 0xFF;
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        return (c & 1) == (oddUpper ? 1 : 0) ? static_cast<char16_t>(c + 1) : c;
    }
    if (c >= 0x386 && c <= 0x3AB) {
        if (c >= 0x391 && c != 0x3A2)
            return static_cast<char16_t>(c + 32);
        switch (c) {
        case 0x386:
            return 0x3AC;
        case 0x388:
        case 0x389:
        case 0x38A:
            return static_cast<char16_t>(c + 37);
        case 0x38C:
            return 0x3CC;
        case 0x38E:
        case 0x38F:
            return static_cast<char16_t>(c + 63);
        default:
            return c;
        }
    }
    if (c >= 0x400 && c <= 0x40F)
        return static_cast<char16_t>(c + 80);
    if (c >= 0x410 && c <= 0x42F)
        return static_cast<char16_t>(c + 32);
    if (c == 0x4C0)
        return 0x4CF;
    if (c >= 0x4C1 && c <= 0x4CE)
        return (c & 1) ? static_cast<char16_t>(c + 1) : c;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F) ||
        (c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF))
        return (c & 1) ? c : static_cast<char16_t>(c + 1);
    if (c >= 0x531 && c <= 0x556)
        return static_cast<char16_t>(c + 48);
    if (c >= 0xFF21 && c <= 0xFF3A)
        return static_cast<char16_t>(c + 32);
    return c;
}

bool SameTextIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && LowerCase(a[i]) != LowerCase(b[i]))
            return false;
    }
    return true;
}

} // namespace

void TQVStringKeeper::WriteContents(TQVCFWriter& folder) {
    TQVBase::WriteContents(folder);
    QVItems::WriteText(folder, u"t", Title);
    QVItems::WriteText(folder, u"d", Description);
    QVItems::Write(folder, u"id", Id);
    folder.List(u"s", static_cast<int>(FKeys.size()), [this](int i, TQVCFWriter& pair) {
        QVItems::WriteText(pair, u"n", FKeys[static_cast<std::size_t>(i)]);
        QVItems::WriteText(pair, u"v", FTexts[static_cast<std::size_t>(i)]);
    });
}

void TQVStringKeeper::ReadContents(TQVCFReader& folder) {
    TQVBase::ReadContents(folder);
    Clear();
    Title = QVItems::ReadText(folder, u"t");
    Description = QVItems::ReadText(folder, u"d");
    Id = QVItems::ReadBytes(folder, u"id");
    // Pairs come in the order the folder holds them ("0", "1", "10", "11", "2", ...); only
    // repeated keys could tell the difference.
    folder.Folder(u"s", [this](TQVCFReader& pairs) {
        pairs.Folders([this](std::size_t, std::u16string_view, TQVCFReader& pair) {
            const auto key = QVItems::Find(pair, u"n");
            const auto text = QVItems::Find(pair, u"v");
            if (key && text)
                AddString(QVBase::BytesToWide(*key), QVBase::BytesToWide(*text));
        });
    });
}

int TQVStringKeeper::AddString(std::u16string key, std::u16string text) {
    FKeys.push_back(std::move(key));
    FTexts.push_back(std::move(text));
    return Count() - 1;
}

void TQVStringKeeper::Clear() {
    FKeys.clear();
    FTexts.clear();
}

const std::u16string& TQVStringKeeper::GetKey(int index) const {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return FKeys[static_cast<std::size_t>(index)];
}

const std::u16string& TQVStringKeeper::GetText(int index) const {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return FTexts[static_cast<std::size_t>(index)];
}

void TQVStringKeeper::GetString(std::u16string_view key, std::u16string_view defaultText,
                                std::u16string& result) const {
    for (std::size_t i = 0; i < FKeys.size(); ++i) {
        if (SameTextIgnoringCase(FKeys[i], key)) {
            result = FTexts[i];
            return;
        }
    }
    result = defaultText;
}

void TQVStringKeeper::LoadFromFile(const std::string& fileName) {
    TQVCompoundFile container;
    // Language files are never protected. A protected one is refused before any password is
    // tried: one made with the empty password would otherwise open without a handler.
    container.OnInfo = [](TQVCompoundFile& sender) {
        if (sender.Protected)
            throw EPACFError(CFMessages::InvalidKey);
    };
    container.LoadFromFile(fileName, false);
    LoadFromFolder(container.Root());
}
