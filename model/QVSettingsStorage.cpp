#include "model/QVSettingsStorage.h"

#include "storage/QVBase.h"
#include "storage/QVUtils.h"

namespace {

// The store's fixed messages, each followed by the Windows error code or the value type.
std::string OpenError(long code) {
    return "Registry open error " + std::to_string(code);
}
std::string ReadError(long code) {
    return "Registry read error " + std::to_string(code);
}
std::string WriteError(long code) {
    return "Registry write error " + std::to_string(code);
}
std::string WrongType(unsigned long type) {
    return "Wrong value type: " + std::to_string(type);
}

} // namespace

// ---- TQVSettingsStorage

void TQVSettingsStorage::WriteRaw(const std::string&, const std::string&) {}

void TQVSettingsStorage::ReadRaw(const std::string&, const std::string& defaultValue,
                                 std::string& value) {
    value = defaultValue;
}

void TQVSettingsStorage::WriteString(const std::string& name, const std::string& value) {
    WriteRaw(name, value);
}

void TQVSettingsStorage::WriteBool(const std::string& name, bool value) {
    WriteRaw(name, QVUtils::BoolToBytes(value));
}

void TQVSettingsStorage::WriteInteger(const std::string& name, std::int32_t value) {
    WriteRaw(name, QVUtils::IntToBytes(value));
}

void TQVSettingsStorage::WriteWideText(const std::string& name, std::u16string_view value) {
    WriteString(name, QVBase::WideToBytes(value));
}

void TQVSettingsStorage::ReadString(const std::string& name, const std::string& defaultValue,
                                    std::string& value) {
    ReadRaw(name, defaultValue, value);
}

bool TQVSettingsStorage::ReadBool(const std::string& name, bool defaultValue) {
    std::string value;
    ReadRaw(name, QVUtils::BoolToBytes(defaultValue), value);
    return QVUtils::BytesToBool(value);
}

std::int32_t TQVSettingsStorage::ReadInteger(const std::string& name, std::int32_t defaultValue) {
    std::string value;
    ReadRaw(name, std::string(), value);
    return QVUtils::BytesToInt(value, defaultValue);
}

std::u16string TQVSettingsStorage::ReadWideText(const std::string& name,
                                                std::u16string_view defaultValue) {
    std::string value;
    ReadString(name, QVBase::WideToBytes(defaultValue), value);
    return QVBase::BytesToWide(value);
}

void TQVSettingsStorage::ReportError(const std::string& message) const {
    if (RaiseErrors)
        throw EQVSettingsStorageError(message);
}

// ---- TQVRegistrySettingsStorage

TQVRegistrySettingsStorage::~TQVRegistrySettingsStorage() {
    if (ReadKey != nullptr)
        Registry::CloseKey(ReadKey);
    if (WriteKey != nullptr)
        Registry::CloseKey(WriteKey);
}

void TQVRegistrySettingsStorage::OpenRead() {
    CloseRead();
    const Registry::LONG result = Registry::OpenKey(RootKey, KeyPath, Registry::KEY_READ, ReadKey);
    if (result != Registry::ERROR_SUCCESS) {
        ReadKey = nullptr;
        ReportError(OpenError(result));
    }
}

void TQVRegistrySettingsStorage::CloseRead() {
    if (ReadKey != nullptr) {
        Registry::CloseKey(ReadKey);
        ReadKey = nullptr;
    }
}

void TQVRegistrySettingsStorage::OpenWrite() {
    CloseWrite();
    Registry::LONG result = Registry::OpenKey(RootKey, KeyPath, Registry::KEY_WRITE, WriteKey);
    if (result == Registry::ERROR_FILE_NOT_FOUND)
        result = Registry::CreateKey(RootKey, KeyPath, Registry::KEY_WRITE, WriteKey);
    if (result != Registry::ERROR_SUCCESS) {
        WriteKey = nullptr;
        ReportError(OpenError(result));
    }
}

void TQVRegistrySettingsStorage::CloseWrite() {
    if (WriteKey != nullptr) {
        // Closing is when the values reach the disk, so its failure is a failed write.
        const Registry::LONG result = Registry::CloseKey(WriteKey);
        WriteKey = nullptr;
        if (result != Registry::ERROR_SUCCESS)
            ReportError(WriteError(result));
    }
}

void TQVRegistrySettingsStorage::WriteRaw(const std::string& name, const std::string& value) {
    const bool ownKey = WriteKey == nullptr;
    if (ownKey) {
        OpenWrite();
        if (WriteKey == nullptr)
            return;
    }
    const Registry::LONG result = Registry::SetValue(WriteKey, name, Registry::REG_BINARY, value);
    if (result != Registry::ERROR_SUCCESS)
        ReportError(WriteError(result));
    if (ownKey)
        CloseWrite();
}

void TQVRegistrySettingsStorage::ReadRaw(const std::string& name, const std::string& defaultValue,
                                         std::string& value) {
    const bool ownKey = ReadKey == nullptr;
    if (ownKey)
        OpenRead();
    Registry::DWORD type = Registry::REG_NONE;
    std::string data;
    const Registry::LONG result = ReadKey != nullptr
                                      ? Registry::QueryValue(ReadKey, name, type, data)
                                      : Registry::ERROR_INVALID_HANDLE;
    if (type != Registry::REG_BINARY)
        ReportError(WrongType(type));
    if (result == Registry::ERROR_SUCCESS) {
        value = std::move(data);
    } else {
        value = defaultValue;
        ReportError(ReadError(result));
    }
    if (ownKey)
        CloseRead();
}
