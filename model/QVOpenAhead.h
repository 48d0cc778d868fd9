#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Workers.h"
#include "storage/QVSecret.h"

// The slow part of opening a budget, started on threads of its own before the open is asked for:
// at launch the budget to open is known before the main window is made, and the window takes
// about as long to make as the stored password records take to turn into a file password.
//
// The derivations are the pure ones the open would make itself, each kept with its inputs: the
// open takes a result only where its own inputs are the same, so an open with help gives exactly
// what one without it gives.
class TQVOpenAhead {
public:
    struct TStoreKey {
        std::string Secret, Prefix;
        TSecret Key; // DeriveStoreKey(Secret, Prefix)
    };
    struct TFilePassword {
        TSecret Key, Password; // Password = KeyToFilePassword(Key)
    };
    struct TDerived {
        std::vector<TStoreKey> StoreKeys;
        std::vector<TFilePassword> FilePasswords;
    };

    // Runs `derive` on a thread of its own.
    TQVOpenAhead(std::string fileName, std::function<TDerived()> derive);
    TQVOpenAhead(const TQVOpenAhead&) = delete;
    TQVOpenAhead& operator=(const TQVOpenAhead&) = delete;

    const std::string& FileName() const { return FFileName; }

    // The store key derived ahead for these inputs, or null. Waits for the derivations; a
    // derivation that failed leaves nothing.
    const TSecret* StoreKey(std::string_view secret, std::string_view prefix);
    // The file password derived ahead for this key, or null. Waits likewise.
    const TSecret* FilePassword(std::string_view key);

private:
    const TDerived& Derived();

    std::string FFileName;
    TDerived FDerived;
    // Last: its thread, which fills FDerived, is waited for before the rest goes.
    Workers::TBackgroundTask FDerivations;
};
