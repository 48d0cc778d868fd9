#include "platform/Exception.h"

#include <cerrno>
#include <cstring>

namespace {

// strerror_r comes in two shapes (GNU returns the text, XSI fills the buffer); these overloads
// accept whichever one the C library declares.
[[maybe_unused]] const char* ErrorText(char* result, const char*) {
    return result;
}
[[maybe_unused]] const char* ErrorText(int result, const char* buffer) {
    return result == 0 ? buffer : "Unknown error";
}

} // namespace

std::string SystemErrorMessage(int errorCode) {
    char buffer[256] = {};
    return ErrorText(strerror_r(errorCode, buffer, sizeof buffer), buffer);
}

EOSError::EOSError(int errorCode, const std::string& context)
    : EOSError(errorCode, context, SystemErrorMessage(errorCode)) {}

EOSError::EOSError(int errorCode, const std::string& context, const std::string& reason)
    : Exception(context + ": " + reason), FErrorCode(errorCode) {}

void RaiseLastOSError(const std::string& context) {
    throw EOSError(errno, context);
}
