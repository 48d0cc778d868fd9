#include "model/QVEnvironment.h"

#include <algorithm>
#include <exception>

#include "model/QVStringKeeper.h"
#include "platform/FileSystem.h"
#include "storage/QVException.h"
#include "storage/QVRS.h"

namespace {

// Appends every table that loads from a file of `folder`; anything else there is passed over
// without a word, and so is a folder that is missing or cannot be listed.
void LoadFolder(const std::string& folder, TQVObjectList<TQVStringKeeper>& languages) {
    std::vector<FileSystem::TDirEntry> entries;
    try {
        entries = FileSystem::FindFiles(folder, "*");
    } catch (const Exception&) {
        return;
    }
    // By name, so that which table comes first does not depend on the file system.
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.Name < b.Name; });
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    for (const FileSystem::TDirEntry& entry : entries) {
        if (entry.IsFolder)
            continue;
        const int index = languages.Add();
        try {
            languages.Get(index)->LoadFromFile(prefix + entry.Name);
        } catch (const std::exception&) {
            languages.Delete(index);
        }
    }
}

} // namespace

void TQVEnvironment::LoadLanguages() {
    LoadLanguagesFrom(
        {QVBase::GetProgramDataFolder() + "lang/", QVBase::GetAppDataFolder(true) + "lang/"});
}

void TQVEnvironment::LoadLanguagesFrom(const std::vector<std::string>& folders) {
    ClearLanguages();
    for (const std::string& folder : folders)
        LoadFolder(folder, FLanguages);
    if (FLanguages.Count() == 0)
        throw EQVException(QVRS::LanguageFileNotFound);

    for (const auto& language : FLanguages) {
        if (language->Id == FSettings.Lang) {
            CurrentLanguage = language.get();
            return;
        }
    }
    CurrentLanguage = FLanguages.Get(0);
    FSettings.Lang = CurrentLanguage->Id;
}

void TQVEnvironment::ClearLanguages() {
    CurrentLanguage = nullptr;
    FLanguages.Clear();
}
