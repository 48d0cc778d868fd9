#pragma once

// Fixed messages of the model.
namespace QVRS {
inline constexpr const char* InvalidObject = "Invalid object";
inline constexpr const char* LanguageFileNotFound = "Language file not found";
} // namespace QVRS
