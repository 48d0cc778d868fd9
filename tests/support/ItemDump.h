#pragma once

#include <string>

#include "storage/container/QVCFItem.h"
#include "support/Bytes.h"

// A folder's tree as text: one line per folder, "path: file=data sub/ ...", its items in the
// order the folder holds them and their data escaped. The folder itself has the path "/".
inline std::string DumpTree(const TQVCFFolder& folder, const std::string& path = "/") {
    std::string line = path + ":";
    std::string below;
    for (int i = 0; i < folder.Count(); ++i) {
        const TQVCFItem* item = folder.GetItem(i);
        std::string name;
        for (const char16_t unit : item->Name)
            name += unit > 0x20 && unit < 0x7F ? std::string(1, static_cast<char>(unit))
                                               : "\\u" + std::to_string(unit);
        if (const auto* sub = dynamic_cast<const TQVCFFolder*>(item)) {
            line += " " + name + "/";
            below += DumpTree(*sub, path + name + "/");
        } else {
            line += " " + name + "=" + Escaped(static_cast<const TQVCFFile*>(item)->Data);
        }
    }
    return line + "\n" + below;
}
