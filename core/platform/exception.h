// Root error class of the program and its kin. Every failure is raised as one
// of these; the application's error presentation shows the message.
#pragma once

#include <exception>
#include <string>

namespace core {

struct BuiltInText;

class Exception : public std::exception {
public:
    explicit Exception(std::string message, int helpContext = 0)
        : message_(std::move(message)), helpContext_(helpContext) {}

    const std::string& Message() const noexcept { return message_; }
    void SetMessage(std::string message) { message_ = std::move(message); }
    int HelpContext() const noexcept { return helpContext_; }
    const char* what() const noexcept override { return message_.c_str(); }

    // The class name as the error presentation names it ("EFOpenError").
    virtual const char* ClassName() const noexcept { return "Exception"; }

private:
    std::string message_;
    int helpContext_;
};

#define PD_DECLARE_ERROR(Name, Base)                                          \
    class Name : public Base {                                                \
    public:                                                                   \
        using Base::Base;                                                     \
        const char* ClassName() const noexcept override { return #Name; }     \
    }

// Silent error: ends a handler without any message box.
PD_DECLARE_ERROR(EAbort, Exception);
PD_DECLARE_ERROR(EStreamError, Exception);
PD_DECLARE_ERROR(EFOpenError, EStreamError);
PD_DECLARE_ERROR(EFCreateError, EStreamError);
PD_DECLARE_ERROR(EInvalidOperation, Exception);
PD_DECLARE_ERROR(EConvertError, Exception);
PD_DECLARE_ERROR(EListError, Exception);
PD_DECLARE_ERROR(ERegistryException, Exception);
PD_DECLARE_ERROR(EIniFileException, Exception);

// Operating-system error with the system's error code (errno on Linux).
class EOSError : public Exception {
public:
    EOSError(std::string message, int errorCode)
        : Exception(std::move(message)), errorCode_(errorCode) {}
    int ErrorCode() const noexcept { return errorCode_; }
    const char* ClassName() const noexcept override { return "EOSError"; }

private:
    int errorCode_;
};

// Raises EOSError for the given system error code with the built-in
// "System Error.  Code: %d." text followed by the system's own description.
[[noreturn]] void RaiseLastOSError(int errorCode);

}  // namespace core
