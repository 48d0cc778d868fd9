#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The current user's registry, in the shape of the Win32 calls the settings code was written
// against (RegOpenKeyEx, RegCreateKeyEx, RegQueryValueEx, RegSetValueEx, RegDeleteValue,
// RegCloseKey), with their error codes. Only HKEY_CURRENT_USER exists.
//
// The keys and values live in one text file in the regedit syntax, written with UTF-8 text:
// $XDG_CONFIG_HOME/Tavrin Group/Quillvane/user.reg (folder 0700, file 0600). The file is read
// when the first key of the process is opened and kept in memory until the last one is closed;
// changes are visible to every open key at once and reach the file, atomically, when a key is
// closed after them, so that a run of values costs one write. A missing file is an empty
// registry; a damaged line of it is skipped.
//
// The key "Software\Microsoft\Windows\CurrentVersion\Run" stands for the XDG autostart folder
// ($XDG_CONFIG_HOME/autostart): each of its string values is a desktop entry of its own, written
// and removed at once. Only entries this layer wrote are seen there; other programs' entries are
// left alone.
namespace Registry {

using LONG = std::int32_t;
using DWORD = std::uint32_t;

struct TKeyHandle;
using HKEY = TKeyHandle*;

// The one predefined key. It serves only as the parent of OpenKey and CreateKey.
extern const HKEY HKEY_CURRENT_USER;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

inline constexpr DWORD KEY_QUERY_VALUE = 0x0001;
inline constexpr DWORD KEY_SET_VALUE = 0x0002;
inline constexpr DWORD KEY_READ = 0x20019;
inline constexpr DWORD KEY_WRITE = 0x20006;
inline constexpr DWORD KEY_ALL_ACCESS = 0xF003F;

inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_WRITE_FAULT = 29;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_DISK_FULL = 112;

// Opens an existing key below `parent` (HKEY_CURRENT_USER or an open key); sub-key names are
// separated by "\" and compare without regard to ASCII case. A key exists when the file lists it
// or a key below it; the Run key and its parents always exist. Opening with KEY_SET_VALUE creates
// the storage folder (or the autostart folder), and fails with ERROR_ACCESS_DENIED when it
// cannot. ERROR_FILE_NOT_FOUND for a missing key, ERROR_INVALID_PARAMETER for a path with
// control characters; `result` is null on failure.
LONG OpenKey(HKEY parent, std::string_view subKey, DWORD access, HKEY& result);
// The same, but a missing key is created (empty until a value is set).
LONG CreateKey(HKEY parent, std::string_view subKey, DWORD access, HKEY& result);

// The value's type and bytes; needs KEY_QUERY_VALUE. A missing value gives ERROR_FILE_NOT_FOUND
// with type REG_NONE and no bytes. Value names compare without regard to ASCII case.
LONG QueryValue(HKEY key, std::string_view name, DWORD& type, std::string& data);
// Stores the bytes as they are under `type`; needs KEY_SET_VALUE. A string is its bytes without
// a terminator. A name with control characters is refused (ERROR_INVALID_PARAMETER), and so is
// anything but a REG_SZ value without zero bytes in the Run key.
LONG SetValue(HKEY key, std::string_view name, DWORD type, std::string_view data);
// Removes the value; ERROR_FILE_NOT_FOUND when there is none.
LONG DeleteValue(HKEY key, std::string_view name);
// Releases the handle, first writing the file when anything changed since it was last written;
// the result then reports a failed write (ERROR_ACCESS_DENIED, ERROR_DISK_FULL,
// ERROR_WRITE_FAULT), and the handle is released all the same.
LONG CloseKey(HKEY key);

// Where the values live, from the current environment; empty when no configuration folder is
// known.
std::string StoreFileName();
std::string AutostartFolder();

} // namespace Registry
