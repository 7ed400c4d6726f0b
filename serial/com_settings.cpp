// Settings of the port: text forms, the four settings objects and the
// property setters, each of which compares, stores, then applies.
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <string_view>

#include "serial/com_port.h"

namespace serial {

namespace {

constexpr const char* kBaudRateTexts[] = {"Custom", "110",   "300",    "600",    "1200",   "2400",
                                          "4800",   "9600",  "14400",  "19200",  "38400",  "56000",
                                          "57600",  "115200", "128000", "256000"};
constexpr std::int32_t kBaudRateValues[] = {0,     110,   300,   600,    1200,   2400,   4800,   9600,
                                            14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
constexpr const char* kStopBitsTexts[] = {"1", "1.5", "2"};
constexpr const char* kDataBitsTexts[] = {"5", "6", "7", "8"};
constexpr const char* kParityTexts[] = {"None", "Odd", "Even", "Mark", "Space"};
constexpr const char* kFlowControlTexts[] = {"Hardware", "Software", "None", "Custom"};
constexpr const char* kDTRTexts[] = {"Disable", "Enable", "Handshake"};
constexpr const char* kRTSTexts[] = {"Disable", "Enable", "Handshake", "Toggle"};

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

template <typename Enum, std::size_t N>
std::string ToText(const char* const (&forms)[N], Enum value) {
    auto index = static_cast<std::size_t>(value);
    return index < N ? forms[index] : "";
}

template <typename Enum, std::size_t N>
Enum FromText(const char* const (&forms)[N], const std::string& text, Enum fallback) {
    const std::string wanted = UpperAscii(text);
    for (std::size_t i = 0; i < N; ++i) {
        if (UpperAscii(forms[i]) == wanted) return static_cast<Enum>(i);
    }
    return fallback;
}

}  // namespace

std::int32_t BaudRateValue(TBaudRate rate) {
    auto index = static_cast<std::size_t>(rate);
    return index < std::size(kBaudRateValues) ? kBaudRateValues[index] : 0;
}

std::string BaudRateToText(TBaudRate value) { return ToText(kBaudRateTexts, value); }
std::string StopBitsToText(TStopBits value) { return ToText(kStopBitsTexts, value); }
std::string DataBitsToText(TDataBits value) { return ToText(kDataBitsTexts, value); }
std::string ParityToText(TParityBits value) { return ToText(kParityTexts, value); }
std::string FlowControlToText(TFlowControl value) { return ToText(kFlowControlTexts, value); }
std::string DTRControlToText(TDTRFlowControl value) { return ToText(kDTRTexts, value); }
std::string RTSControlToText(TRTSFlowControl value) { return ToText(kRTSTexts, value); }

TBaudRate TextToBaudRate(const std::string& text) { return FromText(kBaudRateTexts, text, br9600); }
TStopBits TextToStopBits(const std::string& text) { return FromText(kStopBitsTexts, text, sbOneStopBit); }
TDataBits TextToDataBits(const std::string& text) { return FromText(kDataBitsTexts, text, dbEight); }
TParityBits TextToParity(const std::string& text) { return FromText(kParityTexts, text, prNone); }
TFlowControl TextToFlowControl(const std::string& text) { return FromText(kFlowControlTexts, text, fcCustom); }
TDTRFlowControl TextToDTRControl(const std::string& text) { return FromText(kDTRTexts, text, dtrDisable); }
TRTSFlowControl TextToRTSControl(const std::string& text) { return FromText(kRTSTexts, text, rtsDisable); }

std::string BoolToText(bool value) { return value ? "Yes" : "No"; }
bool TextToBool(const std::string& text) { return UpperAscii(text) == "YES"; }

std::string CharToText(char value) {
    const auto code = static_cast<unsigned char>(value);
    if (code >= 33 && code <= 127) return std::string(1, value);
    return "#" + std::to_string(code);
}

char TextToChar(const std::string& text) {
    if (text.empty()) return 0;
    if (text[0] != '#' || text.size() == 1) return text[0];
    // The rest must be a whole signed 32-bit decimal number; anything else gives 0.
    const std::string rest = text.substr(1);
    std::size_t i = 0;
    if (rest[i] == '+' || rest[i] == '-') ++i;
    if (i == rest.size()) return 0;
    for (std::size_t j = i; j < rest.size(); ++j) {
        if (rest[j] < '0' || rest[j] > '9') return 0;
    }
    errno = 0;
    const long long number = std::strtoll(rest.c_str(), nullptr, 10);
    if (errno == ERANGE || number < INT32_MIN || number > INT32_MAX) return 0;
    return static_cast<char>(static_cast<std::uint8_t>(number & 0xFF));
}

// --- settings objects -------------------------------------------------------

void TComSettings::ApplyLine() const {
    if (port_) port_->ApplyLineSettings();
}
void TComSettings::ApplyTimeouts() const {
    if (port_) port_->ApplyTimeoutSettings();
}
void TComSettings::ApplyQueues() const {
    if (port_) port_->ApplyQueueSizes();
}

namespace {

// Stores `value` and runs `apply` only when it differs from what is stored.
template <typename T, typename Apply>
void SetAndApply(T& field, T value, Apply apply) {
    if (field == value) return;
    field = value;
    apply();
}

}  // namespace

#define PD_COPY_SAME_CLASS(Type)                                              \
    auto* from = dynamic_cast<const Type*>(&source);                          \
    if (!from || std::string_view(from->ClassName()) != ClassName()) RaiseAssignError(source)

void TComParity::CopySettingsFrom(const TPersistent& source) {
    PD_COPY_SAME_CLASS(TComParity);
    bits_ = from->bits_;
    check_ = from->check_;
    replace_ = from->replace_;
    replaceChar_ = from->replaceChar_;
}
void TComParity::SetBits(TParityBits value) { SetAndApply(bits_, value, [this] { ApplyLine(); }); }
void TComParity::SetCheck(bool value) { SetAndApply(check_, value, [this] { ApplyLine(); }); }
void TComParity::SetReplace(bool value) { SetAndApply(replace_, value, [this] { ApplyLine(); }); }
void TComParity::SetReplaceChar(char value) { SetAndApply(replaceChar_, value, [this] { ApplyLine(); }); }

void TComFlowControl::CopySettingsFrom(const TPersistent& source) {
    PD_COPY_SAME_CLASS(TComFlowControl);
    outCTSFlow_ = from->outCTSFlow_;
    outDSRFlow_ = from->outDSRFlow_;
    controlDTR_ = from->controlDTR_;
    controlRTS_ = from->controlRTS_;
    xonXoffOut_ = from->xonXoffOut_;
    xonXoffIn_ = from->xonXoffIn_;
    dsrSensitivity_ = from->dsrSensitivity_;
    txContinueOnXoff_ = from->txContinueOnXoff_;
    xonChar_ = from->xonChar_;
    xoffChar_ = from->xoffChar_;
}

TFlowControl TComFlowControl::FlowControl() const {
    if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcHardware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_) return fcSoftware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
    if (value != fcCustom) {
        controlRTS_ = rtsDisable;
        outCTSFlow_ = xonXoffIn_ = xonXoffOut_ = false;
        if (value == fcHardware) {
            controlRTS_ = rtsHandshake;
            outCTSFlow_ = true;
        } else if (value == fcSoftware) {
            xonXoffIn_ = xonXoffOut_ = true;
        }
    }
    ApplyLine();
}

void TComFlowControl::SetOutCTSFlow(bool value) { SetAndApply(outCTSFlow_, value, [this] { ApplyLine(); }); }
void TComFlowControl::SetOutDSRFlow(bool value) { SetAndApply(outDSRFlow_, value, [this] { ApplyLine(); }); }
void TComFlowControl::SetControlDTR(TDTRFlowControl value) {
    SetAndApply(controlDTR_, value, [this] { ApplyLine(); });
}
void TComFlowControl::SetControlRTS(TRTSFlowControl value) {
    SetAndApply(controlRTS_, value, [this] { ApplyLine(); });
}
void TComFlowControl::SetXonXoffOut(bool value) { SetAndApply(xonXoffOut_, value, [this] { ApplyLine(); }); }
void TComFlowControl::SetXonXoffIn(bool value) { SetAndApply(xonXoffIn_, value, [this] { ApplyLine(); }); }
void TComFlowControl::SetDSRSensitivity(bool value) {
    SetAndApply(dsrSensitivity_, value, [this] { ApplyLine(); });
}
void TComFlowControl::SetTxContinueOnXoff(bool value) {
    SetAndApply(txContinueOnXoff_, value, [this] { ApplyLine(); });
}
void TComFlowControl::SetXonChar(char value) { SetAndApply(xonChar_, value, [this] { ApplyLine(); }); }
void TComFlowControl::SetXoffChar(char value) { SetAndApply(xoffChar_, value, [this] { ApplyLine(); }); }

void TComTimeouts::CopySettingsFrom(const TPersistent& source) {
    PD_COPY_SAME_CLASS(TComTimeouts);
    readInterval_ = from->readInterval_;
    readTotalMultiplier_ = from->readTotalMultiplier_;
    readTotalConstant_ = from->readTotalConstant_;
    writeTotalMultiplier_ = from->writeTotalMultiplier_;
    writeTotalConstant_ = from->writeTotalConstant_;
}
void TComTimeouts::Set(std::int32_t& field, std::int32_t value) {
    SetAndApply(field, value, [this] { ApplyTimeouts(); });
}
void TComTimeouts::SetReadInterval(std::int32_t value) { Set(readInterval_, value); }
void TComTimeouts::SetReadTotalMultiplier(std::int32_t value) { Set(readTotalMultiplier_, value); }
void TComTimeouts::SetReadTotalConstant(std::int32_t value) { Set(readTotalConstant_, value); }
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t value) { Set(writeTotalMultiplier_, value); }
void TComTimeouts::SetWriteTotalConstant(std::int32_t value) { Set(writeTotalConstant_, value); }

void TComBuffer::CopySettingsFrom(const TPersistent& source) {
    PD_COPY_SAME_CLASS(TComBuffer);
    inputSize_ = from->inputSize_;
    outputSize_ = from->outputSize_;
}
void TComBuffer::Set(std::int32_t& field, std::int32_t value) {
    // The comparison is made before the size is made even: 255 over a stored
    // 254 still counts as a change and applies once.
    if (field == value) return;
    field = (value > 0 && value % 2 == 1) ? value - 1 : value;
    ApplyQueues();
}
void TComBuffer::SetInputSize(std::int32_t value) { Set(inputSize_, value); }
void TComBuffer::SetOutputSize(std::int32_t value) { Set(outputSize_, value); }

#undef PD_COPY_SAME_CLASS

// --- port properties --------------------------------------------------------

void TCustomComPort::SetBaudRate(TBaudRate value) { SetAndApply(baudRate_, value, [this] { ApplyLineSettings(); }); }
void TCustomComPort::SetCustomBaudRate(std::int32_t value) {
    SetAndApply(customBaudRate_, value, [this] { ApplyLineSettings(); });
}
void TCustomComPort::SetStopBits(TStopBits value) { SetAndApply(stopBits_, value, [this] { ApplyLineSettings(); }); }
void TCustomComPort::SetDataBits(TDataBits value) { SetAndApply(dataBits_, value, [this] { ApplyLineSettings(); }); }
void TCustomComPort::SetDiscardNull(bool value) {
    SetAndApply(discardNull_, value, [this] { ApplyLineSettings(); });
}
void TCustomComPort::SetEventChar(char value) { SetAndApply(eventChar_, value, [this] { ApplyLineSettings(); }); }

void TCustomComPort::SetParity(const TComParity& value) {
    parity_->CopySettingsFrom(value);
    ApplyLineSettings();
}
void TCustomComPort::SetFlowControl(const TComFlowControl& value) {
    flowControl_->CopySettingsFrom(value);
    ApplyLineSettings();
}
void TCustomComPort::SetTimeouts(const TComTimeouts& value) {
    timeouts_->CopySettingsFrom(value);
    ApplyTimeoutSettings();
}
void TCustomComPort::SetBuffer(const TComBuffer& value) {
    buffer_->CopySettingsFrom(value);
    ApplyQueueSizes();
}

void TCustomComPort::SetPort(const std::string& value) {
    if (port_ == value) return;
    port_ = value;
    if (connected_ && !Loading() && !Designing()) {
        ClosePort();
        OpenPort();
    }
}

void TCustomComPort::SetConnected(bool value) {
    if (Loading() || Designing()) {
        connected_ = value;
        return;
    }
    if (value == connected_) return;
    if (value) {
        OpenPort();
    } else {
        ClosePort();
    }
}

void TCustomComPort::SetSyncMethod(TSyncMethod value) {
    if (value == syncMethod_) return;
    if (connected_ && !Loading() && !Designing()) throw EComPort(CError_ConnChangeProp);
    syncMethod_ = value;
}

}  // namespace serial
