// The failures of the service layer: the binding's client texts and the server's interpreted
// status vector, all under EDatabaseError, plus the operating system's failure EOSError.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const std::string& message) : std::runtime_error(message) {}
};

class EIBError : public EDatabaseError {
public:
    EIBError(const std::string& message, std::int32_t sqlCode, std::int32_t errorCode)
        : EDatabaseError(message), SQLCode(sqlCode), IBErrorCode(errorCode) {}
    std::int32_t SQLCode;
    std::int32_t IBErrorCode;
};

// The server refused: the text is the server's interpreted status vector.
class EIBInterBaseError : public EIBError {
public:
    using EIBError::EIBError;
};

// As EIBInterBaseError, for SQL code -551 (no permission).
class EIBInterBaseRoleError : public EIBError {
public:
    using EIBError::EIBError;
};

// One of the binding's own numbered texts; SQLCode holds the number, IBErrorCode 0.
class EIBClientError : public EIBError {
public:
    using EIBError::EIBError;
};

// A failing call of the operating system, with its error number.
class EOSError : public std::runtime_error {
public:
    EOSError(const std::string& message, unsigned long errorCode)
        : std::runtime_error(message), ErrorCode(errorCode) {}
    unsigned long ErrorCode;
};
