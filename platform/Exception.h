#pragma once

#include <exception>
#include <string>

// Common base of every error the program raises: it carries one message and nothing else.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}

    const std::string& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    std::string FMessage;
};

// An index outside a list's bounds.
class EListError : public Exception {
public:
    using Exception::Exception;
};

// A failed operating-system call, with its errno and the system's text for it (or a reason of
// the program's own where the system's text would not say what went wrong).
class EOSError : public Exception {
public:
    EOSError(int errorCode, const std::string& context);
    EOSError(int errorCode, const std::string& context, const std::string& reason);

    int ErrorCode() const noexcept { return FErrorCode; }

private:
    int FErrorCode;
};

// The system's text for an errno value ("No space left on device").
std::string SystemErrorMessage(int errorCode);

// Raises EOSError for the current errno; `context` names what was attempted.
[[noreturn]] void RaiseLastOSError(const std::string& context);
