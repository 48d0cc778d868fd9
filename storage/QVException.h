#pragma once

#include "platform/Exception.h"

// The model's own errors ("Invalid object", "Language file not found", ...).
class EQVException : public Exception {
public:
    using Exception::Exception;
};

// Errors of the container file and its item tree; the messages are the fixed texts below.
class EPACFError : public Exception {
public:
    using Exception::Exception;
};

namespace CFMessages {
inline constexpr const char* InternalError = "Internal error";
inline constexpr const char* InvalidFile = "Invalid CF file";
inline constexpr const char* InvalidItem = "Invalid CF item";
inline constexpr const char* ItemReadError = "CF item read error";
inline constexpr const char* UnknownItemType = "Unknown CF item type";
inline constexpr const char* AlreadyOpened = "File already opened";
inline constexpr const char* UnsupportedProtection = "Unsupported protection type";
inline constexpr const char* InvalidKey = "Invalid key";
} // namespace CFMessages
