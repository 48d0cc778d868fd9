#pragma once

#include <string>

#include "platform/Exception.h"

// "ok" when `action` returns, or the message of the error of class E that it raised; any other
// error passes on and fails the test.
template <class E = Exception, class Action> std::string Outcome(Action action) {
    try {
        action();
        return "ok";
    } catch (const E& e) {
        return e.Message();
    }
}

// A row of a table of damaged inputs: what it is, its bytes, and the message it must fail with.
struct TErrorCase {
    const char* what;
    std::string bytes;
    std::string message;
};
