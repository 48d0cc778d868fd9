#include "model/QVSettings.h"

#include <algorithm>

#include "model/QVSettingsStorage.h"

namespace {

constexpr const char* KeyPath = "Software\\Tavrin\\Quillvane";
constexpr int StoredRecentCount = 5;

// The tray action is kept one higher than its value, so that a missing value, 0, cannot be
// taken for one; out of range it is kept as 65535.
constexpr std::int32_t TrayActionUnknown = 65535;

std::string RecentNameKey(int number) {
    return "RecentName0" + std::to_string(number);
}
std::string RecentLocationKey(int number) {
    return "RecentLocation0" + std::to_string(number);
}

} // namespace

void TQVSettings::Load() {
    TQVRegistrySettingsStorage storage;
    storage.KeyPath = KeyPath;
    storage.OpenRead();

    ShowA2A = storage.ReadBool("ShowA2A", true);
    ShowEmptyMonths = storage.ReadBool("ShowEmptyMonths", false);
    ShowBalanceAdjustments = storage.ReadBool("ShowBalanceAdjustments", true);
    UseTray = storage.ReadBool("UseTray", true);
    Notifications = storage.ReadBool("Notifications", true);
    storage.ReadString("Lang", std::string(), Lang);
    HideOnMinimize = storage.ReadBool("HideOnMinimize", true);
    HideOnClose = storage.ReadBool("HideOnClose", true);
    AutoOpenLast = storage.ReadBool("AutoOpenLast", true);
    switch (storage.ReadInteger("TrayDblClick", 1)) {
    case 2:
        TrayDblClick = 1;
        break;
    case 3:
        TrayDblClick = 2;
        break;
    default:
        TrayDblClick = 0;
        break;
    }

    for (int number = 1; number <= StoredRecentCount; ++number) {
        std::u16string name = storage.ReadWideText(RecentNameKey(number), u"");
        std::u16string location = storage.ReadWideText(RecentLocationKey(number), u"");
        if (name.empty() && location.empty())
            continue;
        RecentNames.push_back(std::move(name));
        RecentLocations.push_back(std::move(location));
    }

    storage.CloseRead();
}

void TQVSettings::Save() {
    TQVRegistrySettingsStorage storage;
    storage.KeyPath = KeyPath;
    storage.OpenWrite();

    storage.WriteBool("ShowA2A", ShowA2A);
    storage.WriteBool("ShowEmptyMonths", ShowEmptyMonths);
    storage.WriteBool("ShowBalanceAdjustments", ShowBalanceAdjustments);
    storage.WriteBool("UseTray", UseTray);
    storage.WriteBool("Notifications", Notifications);
    storage.WriteString("Lang", Lang);
    storage.WriteBool("HideOnMinimize", HideOnMinimize);
    storage.WriteBool("HideOnClose", HideOnClose);
    storage.WriteBool("AutoOpenLast", AutoOpenLast);
    storage.WriteInteger("TrayDblClick", TrayDblClick <= 2 ? TrayDblClick + 1 : TrayActionUnknown);

    const int count =
        static_cast<int>(std::min<std::size_t>(RecentNames.size(), StoredRecentCount));
    for (int i = 0; i < StoredRecentCount; ++i) {
        const std::size_t index = static_cast<std::size_t>(i);
        // The two lists move together; a location missing behind a name is written empty.
        const std::u16string_view name = i < count ? std::u16string_view(RecentNames[index]) : u"";
        const std::u16string_view location = i < count && index < RecentLocations.size()
                                                 ? std::u16string_view(RecentLocations[index])
                                                 : u"";
        storage.WriteWideText(RecentNameKey(i + 1), name);
        storage.WriteWideText(RecentLocationKey(i + 1), location);
    }

    storage.CloseWrite();
}
