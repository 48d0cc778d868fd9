#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Exception.h"
#include "platform/Registry.h"

// A failure of the settings store; raised only by a store whose RaiseErrors is set.
class EQVSettingsStorageError : public Exception {
public:
    using Exception::Exception;
};

// Typed settings values over named raw byte values: Booleans as one byte 0x01 or 0x00, integers
// as 4 bytes most significant first, texts as their bytes, wide texts as UTF-16LE. This base
// stores nothing: writes are dropped and reads give the default.
class TQVSettingsStorage {
public:
    virtual ~TQVSettingsStorage() = default;

    virtual void WriteRaw(const std::string& name, const std::string& value);
    virtual void ReadRaw(const std::string& name, const std::string& defaultValue,
                         std::string& value);

    void WriteString(const std::string& name, const std::string& value);
    void WriteBool(const std::string& name, bool value);
    void WriteInteger(const std::string& name, std::int32_t value);
    void WriteWideText(const std::string& name, std::u16string_view value);

    void ReadString(const std::string& name, const std::string& defaultValue, std::string& value);
    // True only for exactly the one byte 0x01.
    bool ReadBool(const std::string& name, bool defaultValue);
    // `defaultValue` also for a value that is not exactly 4 bytes long.
    std::int32_t ReadInteger(const std::string& name, std::int32_t defaultValue);
    std::u16string ReadWideText(const std::string& name, std::u16string_view defaultValue);

    // Failures raise EQVSettingsStorageError; otherwise they pass silently.
    bool RaiseErrors = false;

protected:
    // Raises EQVSettingsStorageError with `message` when RaiseErrors is set.
    void ReportError(const std::string& message) const;
};

// The settings as REG_BINARY values of one key of the current user's registry. A key opened by
// OpenRead or OpenWrite serves every value until it is closed; without one, each value opens and
// closes the key for itself.
class TQVRegistrySettingsStorage : public TQVSettingsStorage {
public:
    TQVRegistrySettingsStorage() = default;
    // Closes a key still open, committing what was written through it.
    ~TQVRegistrySettingsStorage() override;
    TQVRegistrySettingsStorage(const TQVRegistrySettingsStorage&) = delete;
    TQVRegistrySettingsStorage& operator=(const TQVRegistrySettingsStorage&) = delete;

    void OpenRead();
    void CloseRead();
    // Creates the key when it is missing.
    void OpenWrite();
    void CloseWrite();

    void WriteRaw(const std::string& name, const std::string& value) override;
    // A value of another type than REG_BINARY is reported and its bytes returned as they are;
    // a missing one is reported and gives the default.
    void ReadRaw(const std::string& name, const std::string& defaultValue,
                 std::string& value) override;

    Registry::HKEY ReadKey = nullptr;
    Registry::HKEY WriteKey = nullptr;
    Registry::HKEY RootKey = Registry::HKEY_CURRENT_USER;
    std::string KeyPath;
};
