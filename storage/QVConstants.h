#pragma once

// Names under which the program keeps its per-user files.
namespace QVConstants {
inline constexpr const char* CompanyFolder = "Tavrin Group";
inline constexpr const char* ProductFolder = "Quillvane";
} // namespace QVConstants
