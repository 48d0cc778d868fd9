#include "platform/Registry.h"

#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/AutostartEntries.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/RegistryFile.h"

namespace Registry {

struct TKeyHandle {
    // Sub-key path below HKEY_CURRENT_USER, components joined by "\", none empty.
    std::string Path;
    bool CanRead = false;
    bool CanWrite = false;
    // The Run key, kept in the autostart folder rather than in the file.
    bool IsRun = false;
    bool IsRoot = false;
};

using namespace Detail;

namespace {

TKeyHandle CurrentUserRoot{"", false, false, false, true};

constexpr std::string_view RunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// `path` is `ancestor` or lies below it.
bool IsWithin(std::string_view path, std::string_view ancestor) {
    if (ancestor.empty())
        return true;
    return StartsWithText(path, ancestor) &&
           (path.size() == ancestor.size() || path[ancestor.size()] == '\\');
}

// ---- Process state

struct TStore {
    std::mutex Lock;
    std::set<TKeyHandle*> Handles;
    // Open handles that use the file's keys; the file is read again once none is left.
    int Users = 0;
    std::string FileName;
    TKeyList Keys;
    bool Dirty = false;
};

TStore& Store() {
    static TStore store;
    return store;
}

LONG AcquireStore(TStore& store) {
    if (store.Users == 0) {
        store.FileName = StoreFileName();
        store.Dirty = false;
        const LONG result = LoadStore(store.FileName, store.Keys);
        if (result != ERROR_SUCCESS)
            return result;
    }
    ++store.Users;
    return ERROR_SUCCESS;
}

void ReleaseStore(TStore& store) {
    if (--store.Users == 0) {
        store.Keys.clear();
        store.Dirty = false;
    }
}

bool KeyExists(TStore& store, std::string_view path) {
    if (IsWithin(RunKeyPath, path))
        return true;
    for (const TKey& key : store.Keys) {
        if (IsWithin(key.Path, path))
            return true;
    }
    return false;
}

bool IsOpenKey(const TStore& store, HKEY key) {
    return key != nullptr && store.Handles.count(key) > 0;
}

// Whether `key` is an open handle with the access the operation needs.
LONG CheckAccess(const TStore& store, HKEY key, bool write) {
    if (!IsOpenKey(store, key))
        return ERROR_INVALID_HANDLE;
    return (write ? key->CanWrite : key->CanRead) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG OpenOrCreate(HKEY parent, std::string_view subKey, DWORD access, HKEY& result, bool create) {
    result = nullptr;
    TStore& store = Store();
    std::lock_guard<std::mutex> guard(store.Lock);
    if (parent != HKEY_CURRENT_USER && !IsOpenKey(store, parent))
        return ERROR_INVALID_HANDLE;

    if (HasControlCharacters(subKey))
        return ERROR_INVALID_PARAMETER;
    auto handle = std::make_unique<TKeyHandle>();
    handle->Path = parent->IsRoot ? NormalisePath(subKey)
                                  : NormalisePath(parent->Path + "\\" + std::string(subKey));
    handle->CanRead = (access & KEY_QUERY_VALUE) != 0;
    handle->CanWrite = (access & KEY_SET_VALUE) != 0;
    handle->IsRun = SameText(handle->Path, RunKeyPath);

    if (handle->IsRun) {
        // The Run key always exists on Windows; here its folder may still have to be made.
        const std::string folder = AutostartFolder();
        if (handle->CanWrite && (folder.empty() || !FileSystem::ForceFolders(folder, 0700)))
            return ERROR_ACCESS_DENIED;
    } else {
        const LONG loaded = AcquireStore(store);
        if (loaded != ERROR_SUCCESS)
            return loaded;
        const bool exists = KeyExists(store, handle->Path);
        LONG failure = ERROR_SUCCESS;
        if (!exists && !create)
            failure = ERROR_FILE_NOT_FOUND;
        else if ((handle->CanWrite || !exists) &&
                 (store.FileName.empty() ||
                  !FileSystem::ForceFolders(FolderOf(store.FileName), 0700)))
            failure = ERROR_ACCESS_DENIED;
        if (failure != ERROR_SUCCESS) {
            ReleaseStore(store);
            return failure;
        }
        if (create && FindKey(store.Keys, handle->Path) == nullptr) {
            store.Keys.push_back({handle->Path, {}});
            store.Dirty = true;
        }
    }
    result = handle.release();
    store.Handles.insert(result);
    return ERROR_SUCCESS;
}
} // namespace

const HKEY HKEY_CURRENT_USER = &CurrentUserRoot;

std::string StoreFileName() {
    const std::string config = Folders::UserConfigFolder();
    return config.empty() ? std::string() : config + "/Tavrin Group/Quillvane/user.reg";
}

std::string AutostartFolder() {
    const std::string config = Folders::UserConfigFolder();
    return config.empty() ? std::string() : config + "/autostart";
}

LONG OpenKey(HKEY parent, std::string_view subKey, DWORD access, HKEY& result) {
    return OpenOrCreate(parent, subKey, access, result, false);
}

LONG CreateKey(HKEY parent, std::string_view subKey, DWORD access, HKEY& result) {
    return OpenOrCreate(parent, subKey, access, result, true);
}

LONG QueryValue(HKEY key, std::string_view name, DWORD& type, std::string& data) {
    type = REG_NONE;
    data.clear();
    TStore& store = Store();
    std::lock_guard<std::mutex> guard(store.Lock);
    if (const LONG access = CheckAccess(store, key, false); access != ERROR_SUCCESS)
        return access;
    if (key->IsRun) {
        const LONG result = QueryEntry(name, data);
        if (result == ERROR_SUCCESS)
            type = REG_SZ;
        return result;
    }
    TKey* stored = FindKey(store.Keys, key->Path);
    const TValue* value = stored != nullptr ? FindValue(*stored, name) : nullptr;
    if (value == nullptr)
        return ERROR_FILE_NOT_FOUND;
    type = value->Type;
    data = value->Data;
    return ERROR_SUCCESS;
}

LONG SetValue(HKEY key, std::string_view name, DWORD type, std::string_view data) {
    TStore& store = Store();
    std::lock_guard<std::mutex> guard(store.Lock);
    if (const LONG access = CheckAccess(store, key, true); access != ERROR_SUCCESS)
        return access;
    if (key->IsRun) {
        if (type != REG_SZ || data.find('\0') != std::string_view::npos)
            return ERROR_INVALID_PARAMETER;
        return SetEntry(name, data);
    }
    if (HasControlCharacters(name))
        return ERROR_INVALID_PARAMETER;
    TKey* stored = FindKey(store.Keys, key->Path);
    if (stored == nullptr) {
        store.Keys.push_back({key->Path, {}});
        stored = &store.Keys.back();
    }
    SetKeyValue(*stored, name, type, data);
    store.Dirty = true;
    return ERROR_SUCCESS;
}

LONG DeleteValue(HKEY key, std::string_view name) {
    TStore& store = Store();
    std::lock_guard<std::mutex> guard(store.Lock);
    if (const LONG access = CheckAccess(store, key, true); access != ERROR_SUCCESS)
        return access;
    if (key->IsRun)
        return DeleteEntry(name);
    TKey* stored = FindKey(store.Keys, key->Path);
    if (stored == nullptr)
        return ERROR_FILE_NOT_FOUND;
    for (auto it = stored->Values.begin(); it != stored->Values.end(); ++it) {
        if (SameText(it->Name, name)) {
            stored->Values.erase(it);
            store.Dirty = true;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG CloseKey(HKEY key) {
    TStore& store = Store();
    std::lock_guard<std::mutex> guard(store.Lock);
    if (key == HKEY_CURRENT_USER)
        return ERROR_SUCCESS;
    if (!IsOpenKey(store, key))
        return ERROR_INVALID_HANDLE;
    store.Handles.erase(key);
    const std::unique_ptr<TKeyHandle> handle(key);
    if (handle->IsRun)
        return ERROR_SUCCESS;
    LONG result = ERROR_SUCCESS;
    if (store.Dirty) {
        result = SaveStore(store.FileName, store.Keys);
        if (result == ERROR_SUCCESS)
            store.Dirty = false;
    }
    ReleaseStore(store);
    return result;
}

} // namespace Registry
