#include "model/QVOpenAhead.h"

#include <filesystem>
#include <system_error>
#include <utility>

TQVOpenAhead::TQVOpenAhead(std::string fileName, std::function<TDerived()> derive,
                           std::uint64_t maxMemory)
    : FFileName(std::move(fileName)) {
    // Without a thread to be had, nothing is done ahead: the open does it all itself.
    try {
        FDerivations = std::async(std::launch::async, std::move(derive));
    } catch (const std::system_error&) {
        return;
    }
    // The size is all that is asked of the file here: opening it could wait for ever on
    // something that only looks like one.
    std::error_code error;
    const std::filesystem::path path(FFileName);
    if (!std::filesystem::is_regular_file(path, error))
        return;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size == 0 || size > maxMemory)
        return;
    try {
        FBodyMemory = std::async(std::launch::async,
                                 [size] { return TByteBuffer(static_cast<std::size_t>(size)); });
    } catch (const std::system_error&) {
    }
}

TQVOpenAhead::~TQVOpenAhead() {
    // A future of std::async waits for its thread when it goes; these are waited on explicitly,
    // and a failure they carry is of no interest any more.
    try {
        if (FDerivations.valid())
            FDerivations.get();
    } catch (...) {
    }
    try {
        if (FBodyMemory.valid())
            FBodyMemory.get();
    } catch (...) {
    }
}

const TQVOpenAhead::TDerived& TQVOpenAhead::Derived() {
    if (FDerivations.valid()) {
        try {
            FDerived = FDerivations.get();
        } catch (...) {
            // Whatever failed ahead is derived again by the open, which reports it if it fails
            // again.
            FDerived = TDerived();
        }
    }
    return FDerived;
}

const std::string* TQVOpenAhead::StoreKey(std::string_view secret, std::string_view prefix) {
    for (const TStoreKey& entry : Derived().StoreKeys)
        if (entry.Secret == secret && entry.Prefix == prefix)
            return &entry.Key;
    return nullptr;
}

const std::string* TQVOpenAhead::FilePassword(std::string_view key) {
    for (const TFilePassword& entry : Derived().FilePasswords)
        if (entry.Key == key)
            return &entry.Password;
    return nullptr;
}

TByteBuffer TQVOpenAhead::TakeBodyMemory() {
    if (!FBodyMemory.valid())
        return {};
    try {
        return FBodyMemory.get();
    } catch (...) {
        // No memory to be had ahead: the open asks for its own and reports that failure.
        return {};
    }
}
