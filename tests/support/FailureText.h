// The message of the failure an operation raises, for comparing exact texts.
#pragma once

#include <exception>
#include <string>

// Runs `operation` and returns the message of the `TFailureClass` it raises, or "<no failure>"
// when it returns normally. Other failures pass on and fail the test.
template <typename TFailureClass = std::exception, typename TOperation>
std::string FailureText(TOperation&& operation) {
    try {
        operation();
    } catch (const TFailureClass& failure) {
        return failure.what();
    }
    return "<no failure>";
}
