// The port's one error class and its message table.
#pragma once

#include <array>
#include <string>

#include "core/platform/exception.h"

namespace serial {

// Error numbers, the rows of PortErrorMessages.
enum : int {
    CError_OpenFailed = 1,
    CError_WriteFailed = 2,
    CError_ReadFailed = 3,
    CError_InvalidAsync = 4,
    CError_PurgeFailed = 5,
    CError_AsyncCheck = 6,
    CError_SetStateFailed = 7,
    CError_TimeoutsFailed = 8,
    CError_SetupComFailed = 9,
    CError_ClearComFailed = 10,
    CError_ModemStatFailed = 11,
    CError_EscapeComFailed = 12,
    CError_TransmitFailed = 13,
    CError_ConnChangeProp = 14,
    CError_EnumPortsFailed = 15,
    CError_StoreFailed = 16,
    CError_LoadFailed = 17,
    CError_RegFailed = 18,
    CError_LedStateFailed = 19,
    CError_ThreadCreated = 20,
    CError_WaitFailed = 21,
    CError_HasLink = 22,
    CError_RegError = 23,
};

constexpr int kPortErrorCount = 23;

// Entries 1..23 (entry 0 is unused and empty). English until
// InitPortErrorMessages has run; after that the translations of the current
// language where a catalog has them. Filled before any port exists.
extern std::array<std::u16string, kPortErrorCount + 1> PortErrorMessages;

// Fills the table with the translation of each English text and adds the
// component's text domain "ruvix" to the domains searched for built-in texts.
// The application calls it once at start-up, after the localization runtime.
void InitPortErrorMessages();

// The English texts, indexed 1..23.
extern const std::array<const char16_t*, kPortErrorCount + 1> PortErrorMessagesEnglish;

class EComPort : public core::Exception {
public:
    // With the system's error code (GetLastError() on Windows, errno on
    // POSIX): the table entry followed by the translated " (win error code: %d)".
    EComPort(int errorNumber, int systemErrorCode);
    // The same, with a second line that says what went wrong and what to do.
    EComPort(int errorNumber, int systemErrorCode, const std::string& explanation);
    // Without a system code: the bare table entry; SystemErrorCode() is -1.
    explicit EComPort(int errorNumber);

    // The error of a call on a device that went away (a USB adapter pulled
    // out): the number of the operation and the system's code as above, the
    // message the removal, whatever the operation (RemovedDeviceLine).
    static EComPort Removed(int errorNumber, int systemErrorCode, const std::string& port);

    int ErrorNumber() const noexcept { return errorNumber_; }
    int SystemErrorCode() const noexcept { return systemErrorCode_; }
    bool DeviceRemoved() const noexcept { return removed_; }
    const char* ClassName() const noexcept override { return "EComPort"; }

private:
    int errorNumber_;
    int systemErrorCode_;
    bool removed_ = false;
};

}  // namespace serial
