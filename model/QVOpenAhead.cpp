#include "model/QVOpenAhead.h"

#include <utility>

TQVOpenAhead::TQVOpenAhead(std::string fileName, std::function<TDerived()> derive)
    : FFileName(std::move(fileName)) {
    // Without a thread to be had, nothing is done ahead: the open does it all itself.
    FDerivations.Start([this, derive = std::move(derive)] { FDerived = derive(); });
}

const TQVOpenAhead::TDerived& TQVOpenAhead::Derived() {
    try {
        FDerivations.Wait();
    } catch (...) {
        // Whatever failed ahead is derived again by the open, which reports it if it fails
        // again.
        FDerived = TDerived();
    }
    return FDerived;
}

const TSecret* TQVOpenAhead::StoreKey(std::string_view secret, std::string_view prefix) {
    for (const TStoreKey& entry : Derived().StoreKeys)
        if (entry.Secret == secret && entry.Prefix == prefix)
            return &entry.Key;
    return nullptr;
}

const TSecret* TQVOpenAhead::FilePassword(std::string_view key) {
    for (const TFilePassword& entry : Derived().FilePasswords)
        if (entry.Key == key)
            return &entry.Password;
    return nullptr;
}
