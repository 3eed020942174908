// The failures of the attachment layer.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

class TIB_Component;

class EIB_Error : public std::runtime_error {
public:
    explicit EIB_Error(const std::string& message) : std::runtime_error(message) {}
};

// A setting or a connection request that the connection object refuses.
class EIB_ConnectionError : public EIB_Error {
public:
    using EIB_Error::EIB_Error;
};

// A client call that failed, with what the client library said about it.
class EIB_ISCError : public EIB_Error {
public:
    EIB_ISCError(const std::string& message, std::int32_t errCode, std::int32_t sqlCode,
                 const TIB_Component* component, std::vector<std::string> errorMessage,
                 std::vector<std::string> sqlMessage)
        : EIB_Error(message), ERRCODE(errCode), SQLCODE(sqlCode), Component(component),
          ErrorMessage(std::move(errorMessage)), SQLMessage(std::move(sqlMessage)) {}
    std::int32_t ERRCODE;
    std::int32_t SQLCODE;
    const TIB_Component* Component;
    std::vector<std::string> ErrorMessage;
    std::vector<std::string> SQLMessage;
};
