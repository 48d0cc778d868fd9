#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "storage/QVBase.h"

// The program's preferences and its recently used budgets, with the values a fresh object has.
class TQVSettings : public TQVBase {
public:
    // Reads every value from the registry key "Software\Tavrin\Quillvane"; a missing or
    // unreadable value takes its default, without a message. The recent pairs are appended.
    void Load();
    // Writes every value and the first five recent pairs (the rest as empty pairs); failures
    // pass silently.
    void Save();

    // Transfers between accounts are listed.
    bool ShowA2A = true;
    // Months without flows are listed.
    bool ShowEmptyMonths = true;
    // Flows booked by balance adjustments are listed.
    bool ShowBalanceAdjustments = true;
    // Icon in the notification area.
    bool UseTray = true;
    bool Notifications = true;
    // Id of the current language table.
    std::string Lang;
    bool HideOnMinimize = true;
    bool HideOnClose = true;
    // Open the most recent budget at start.
    bool AutoOpenLast = true;
    // Double click on the notification icon: 0 restore the main window, 1 new expense,
    // 2 new income.
    std::uint8_t TrayDblClick = 1;
    // Titles and full paths of the recent budgets, entry for entry, newest first.
    std::vector<std::u16string> RecentNames;
    std::vector<std::u16string> RecentLocations;
};
