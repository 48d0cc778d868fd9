#include "model/QVEnvironment.h"

#include "platform/Registry.h"
#include "platform/TextConv.h"

namespace {

constexpr const char* RunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* AutorunValueName = "Quillvane autostart";

std::string AutorunCommandLine() {
    return QVBase::GetExeName() + " /autorun";
}

} // namespace

void TQVEnvironment::LoadSettings() {
    Settings().Load();
}

void TQVEnvironment::AddRecent(std::u16string_view name, const std::string& fileName) {
    std::u16string location = TextConv::Utf8ToWide(QVUtils::GetFullPath(fileName));
    std::vector<std::u16string>& names = FSettings.RecentNames;
    std::vector<std::u16string>& locations = FSettings.RecentLocations;
    // File names are case-sensitive here: paths that differ in letter case are different budgets.
    for (std::size_t i = 0; i < locations.size(); ++i) {
        if (locations[i] == location) {
            locations.erase(locations.begin() + static_cast<std::ptrdiff_t>(i));
            if (i < names.size())
                names.erase(names.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    locations.insert(locations.begin(), std::move(location));
    names.insert(names.begin(), std::u16string(name));
}

void TQVEnvironment::EnableAutorun() {
    Registry::HKEY key = nullptr;
    if (Registry::OpenKey(Registry::HKEY_CURRENT_USER, RunKeyPath, Registry::KEY_WRITE, key) !=
        Registry::ERROR_SUCCESS)
        return;
    Registry::SetValue(key, AutorunValueName, Registry::REG_SZ, AutorunCommandLine());
    Registry::CloseKey(key);
}

void TQVEnvironment::DisableAutorun() {
    Registry::HKEY key = nullptr;
    if (Registry::OpenKey(Registry::HKEY_CURRENT_USER, RunKeyPath, Registry::KEY_WRITE, key) !=
        Registry::ERROR_SUCCESS)
        return;
    Registry::DeleteValue(key, AutorunValueName);
    Registry::CloseKey(key);
}

bool TQVEnvironment::IsAutorunEnabled() const {
    Registry::HKEY key = nullptr;
    if (Registry::OpenKey(Registry::HKEY_CURRENT_USER, RunKeyPath, Registry::KEY_READ, key) !=
        Registry::ERROR_SUCCESS)
        return false;
    Registry::DWORD type = Registry::REG_NONE;
    std::string commandLine;
    const bool found =
        Registry::QueryValue(key, AutorunValueName, type, commandLine) == Registry::ERROR_SUCCESS;
    Registry::CloseKey(key);
    return found && type == Registry::REG_SZ && commandLine == AutorunCommandLine();
}
