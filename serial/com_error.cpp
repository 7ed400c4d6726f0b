#include "serial/com_error.h"

#include "core/text/format.h"
#include "core/text/utf.h"
#include "localization/gettext.h"
#include "serial/open_failure.h"

namespace serial {

const std::array<const char16_t*, kPortErrorCount + 1> PortErrorMessagesEnglish = {
    u"",
    u"Unable to open com port",
    u"WriteFile function failed",
    u"ReadFile function failed",
    u"Invalid Async parameter",
    u"PurgeComm function failed",
    u"Unable to get async status",
    u"SetCommState function failed",
    u"SetCommTimeouts failed",
    u"SetupComm function failed",
    u"ClearCommError function failed",
    u"GetCommModemStatus function failed",
    u"EscapeCommFunction function failed",
    u"TransmitCommChar function failed",
    u"Cannot set property while connected",
    u"EnumPorts function failed",
    u"Failed to store settings",
    u"Failed to load settings",
    u"Link (un)registration failed",
    u"Cannot change led state if ComPort is selected",
    u"Cannot wait for event if event thread is created",
    u"WaitForEvent method failed",
    u"A component is linked to OnRxBuf event",
    u"Registry error",
};

std::array<std::u16string, kPortErrorCount + 1> PortErrorMessages = [] {
    std::array<std::u16string, kPortErrorCount + 1> table;
    for (int i = 0; i <= kPortErrorCount; ++i) table[i] = PortErrorMessagesEnglish[i];
    return table;
}();

void InitPortErrorMessages() {
    localization::AddResourceDomain("ruvix");
    for (int i = 1; i <= kPortErrorCount; ++i) {
        PortErrorMessages[i] = localization::Translate(PortErrorMessagesEnglish[i]);
    }
}

namespace {

std::string TableEntry(int number) {
    if (number < 1 || number > kPortErrorCount) return {};
    return core::Utf16ToUtf8(PortErrorMessages[number]);
}

// The suffix in the current language; a catalog that cannot deliver it must
// not turn a port error into a different one.
std::string CodeSuffix() {
    static const char16_t kSuffix[] = u" (win error code: %d)";
    try {
        return core::Utf16ToUtf8(localization::Translate(kSuffix));
    } catch (...) {
        return core::Utf16ToUtf8(kSuffix);
    }
}

}  // namespace

EComPort::EComPort(int errorNumber, int systemErrorCode)
    : core::Exception(core::FormatText(TableEntry(errorNumber) + CodeSuffix(), {systemErrorCode})),
      errorNumber_(errorNumber),
      systemErrorCode_(systemErrorCode) {}

EComPort::EComPort(int errorNumber, int systemErrorCode, const std::string& explanation)
    : EComPort(errorNumber, systemErrorCode) {
    if (!explanation.empty()) SetMessage(Message() + "\n" + explanation);
}

EComPort EComPort::Removed(int errorNumber, int systemErrorCode, const std::string& port) {
    EComPort error(errorNumber, systemErrorCode);
    error.SetMessage(RemovedDeviceLine(port));
    error.removed_ = true;
    return error;
}

EComPort::EComPort(int errorNumber)
    : core::Exception(TableEntry(errorNumber)), errorNumber_(errorNumber), systemErrorCode_(-1) {}

}  // namespace serial
