#include "storage/QVBase.h"

#include <cstdio>

#include "platform/Folders.h"
#include "platform/Guid.h"
#include "storage/container/QVCFItem.h"
#include "storage/container/QVCFView.h"
#include "storage/container/QVCFWriter.h"
#include "storage/QVConstants.h"
#include "storage/QVException.h"
#include "storage/QVRS.h"
#include "storage/QVUtils.h"

void TQVBase::WriteContents(TQVCFWriter&) {}

void TQVBase::ReadContents(TQVCFReader&) {}

void TQVBase::SaveToFolder(TQVCFFolder& folder) {
    TQVCFTreeWriter writer(folder);
    SaveToFolder(writer);
}

void TQVBase::SaveToFolder(TQVCFWriter& folder) {
    // "type" sorts after every name the objects write, so appending it last keeps the folder's
    // insertion sort from moving each later item past it.
    WriteContents(folder);
    folder.File(u"type", GetTypeName());
}

void TQVBase::LoadFromFolder(TQVCFReader& folder) {
    std::string_view type;
    if (!folder.File(u"type", type) || type != GetTypeName())
        throw EQVException(QVRS::InvalidObject);
    ReadContents(folder);
}

void TQVBase::LoadFromFolder(const TQVCFFolder& folder) {
    TQVCFView::Read(folder, [this](TQVCFReader& view) { LoadFromFolder(view); });
}

namespace QVBase {

std::string GetAppDataFolder(bool perUser) {
    // Only the per-user folder exists here; a machine-wide one is never asked for.
    std::string base = perUser ? Folders::UserDataFolder() : std::string();
    return base + "/" + QVConstants::CompanyFolder + "/" + QVConstants::ProductFolder + "/";
}

std::string WideToBytes(std::u16string_view text) {
    std::string bytes(text.size() * 2, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    return bytes;
}

std::u16string BytesToWide(std::string_view bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    return text;
}

std::string CreateGUIDString() {
    static const char Hex[] = "0123456789ABCDEF";
    TGUID guid;
    std::string result;
    result.reserve(32);
    if (CoCreateGuid(guid) >= 0) {
        std::uint8_t bytes[16];
        GuidToBytes(guid, bytes);
        for (std::uint8_t b : bytes) {
            result += Hex[b >> 4];
            result += Hex[b & 0x0F];
        }
        return result;
    }
    // No GUID to be had: random digits from the process generator instead.
    QVUtils::Randomize();
    for (int group = 0; group < 4; ++group) {
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08X", QVUtils::Random(0xFFFFFFFFu));
        result += digits;
    }
    return result;
}

std::string GetExeName() {
    return Folders::ExecutablePath();
}

std::string GetExeFolder() {
    std::string path = GetExeName();
    return path.substr(0, path.rfind('/') + 1);
}

std::string GetProgramDataFolder() {
    const std::string exeFolder = GetExeFolder();
    if (exeFolder.empty() || Folders::FolderExists(exeFolder + "lang"))
        return exeFolder;
    const std::string installed = exeFolder + "../share/quillvane/";
    if (Folders::FolderExists(installed + "lang"))
        return Folders::FullPath(installed) + "/";
    return exeFolder;
}

std::string GetDocumentsFolder() {
    std::string folder = Folders::DocumentsFolder();
    if (folder.empty())
        folder = Folders::DesktopFolder();
    return folder;
}

} // namespace QVBase
