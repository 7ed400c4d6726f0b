// The serial port component: one COM port with its settings, the open device,
// the monitoring thread that reports line events, and the data transfer.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serial/com_error.h"
#include "serial/component.h"
#include "serial/device/device.h"

namespace core {
class TCustomIniFile;
class TRegistryKeyAccess;
}  // namespace core

namespace serial {

// A set of the members of a small enumeration, bit n for ordinal n.
template <typename Enum, typename Bits>
class SmallSet {
public:
    constexpr SmallSet() = default;
    constexpr SmallSet(std::initializer_list<Enum> members) {
        for (Enum m : members) Include(m);
    }
    static constexpr SmallSet FromBits(Bits bits) {
        SmallSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr Bits ToBits() const { return bits_; }
    constexpr bool Contains(Enum m) const { return (bits_ >> static_cast<unsigned>(m)) & 1u; }
    constexpr void Include(Enum m) { bits_ = static_cast<Bits>(bits_ | (Bits{1} << static_cast<unsigned>(m))); }
    constexpr void Exclude(Enum m) { bits_ = static_cast<Bits>(bits_ & ~(Bits{1} << static_cast<unsigned>(m))); }
    constexpr bool Empty() const { return bits_ == 0; }
    friend constexpr bool operator==(SmallSet a, SmallSet b) { return a.bits_ == b.bits_; }

private:
    Bits bits_ = 0;
};

enum TBaudRate : std::uint8_t {
    brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400,
    br19200, br38400, br56000, br57600, br115200, br128000, br256000
};
enum TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : std::uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent : std::uint8_t {
    evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
};
enum TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };
enum TComSettingGroup : std::uint8_t { sgBasic, sgFlowControl, sgBuffer, sgTimeouts, sgParity, sgMisc };
enum TLineSignal : std::uint8_t { sigCTS, sigDSR, sigRing, sigRLSD };
enum TLineError : std::uint8_t {
    errFrame, errParity, errOverrun, errBreak, errIO, errMode, errRxOverflow, errTxFull
};
enum TTransferKind : std::uint8_t { trWrite, trRead, trNone = 0xFF };

using TComEvents = SmallSet<TComEvent, std::uint16_t>;
using TComSettingGroups = SmallSet<TComSettingGroup, std::uint8_t>;
using TLineSignals = SmallSet<TLineSignal, std::uint8_t>;
using TComErrors = SmallSet<TLineError, std::uint8_t>;

inline constexpr TComEvents kAllComEvents = TComEvents::FromBits(0x3FF);

// Line speed of a TBaudRate member in bits per second (0 for brCustom).
std::int32_t BaudRateValue(TBaudRate rate);

// Text forms, as the settings storage writes and reads them. Text to value
// compares upper-cased (ASCII) text exactly and falls back when nothing matches.
std::string BaudRateToText(TBaudRate value);
std::string StopBitsToText(TStopBits value);
std::string DataBitsToText(TDataBits value);
std::string ParityToText(TParityBits value);
std::string FlowControlToText(TFlowControl value);
std::string DTRControlToText(TDTRFlowControl value);
std::string RTSControlToText(TRTSFlowControl value);
TBaudRate TextToBaudRate(const std::string& text);              // fallback br9600
TStopBits TextToStopBits(const std::string& text);              // fallback sbOneStopBit
TDataBits TextToDataBits(const std::string& text);              // fallback dbEight
TParityBits TextToParity(const std::string& text);              // fallback prNone
TFlowControl TextToFlowControl(const std::string& text);        // fallback fcCustom
TDTRFlowControl TextToDTRControl(const std::string& text);      // fallback dtrDisable
TRTSFlowControl TextToRTSControl(const std::string& text);      // fallback rtsDisable
std::string BoolToText(bool value);                             // "Yes" / "No"
bool TextToBool(const std::string& text);                       // true only for "YES" in any case
std::string CharToText(char value);                             // "A", or "#32" outside 33..127
char TextToChar(const std::string& text);                       // "#nn" low 8 bits; never fails

class TCustomComPort;

// Common part of the four settings objects: the back reference to the port.
class TComSettings : public TPersistent {
public:
    TCustomComPort* ComPort() const { return port_; }

protected:
    explicit TComSettings(TCustomComPort* port) : port_(port) {}
    TComSettings(const TComSettings&) : TPersistent(), port_(nullptr) {}
    TComSettings& operator=(const TComSettings&) { return *this; }  // the back reference stays
    void ApplyLine() const;
    void ApplyTimeouts() const;
    void ApplyQueues() const;

private:
    TCustomComPort* port_;
};

class TComParity : public TComSettings {
public:
    explicit TComParity(TCustomComPort* port = nullptr) : TComSettings(port) {}
    void CopySettingsFrom(const TPersistent& source) override;
    const char* ClassName() const noexcept override { return "TComParity"; }

    TParityBits Bits() const { return bits_; }
    void SetBits(TParityBits value);
    bool Check() const { return check_; }
    void SetCheck(bool value);
    bool Replace() const { return replace_; }
    void SetReplace(bool value);
    char ReplaceChar() const { return replaceChar_; }
    void SetReplaceChar(char value);

private:
    TParityBits bits_ = prNone;
    bool check_ = false;
    bool replace_ = false;
    char replaceChar_ = 0;
};

class TComFlowControl : public TComSettings {
public:
    explicit TComFlowControl(TCustomComPort* port = nullptr) : TComSettings(port) {}
    void CopySettingsFrom(const TPersistent& source) override;
    const char* ClassName() const noexcept override { return "TComFlowControl"; }

    // The mode derived from the detailed flags; writing it rewrites them and
    // always applies once, even for fcCustom or an unchanged mode.
    TFlowControl FlowControl() const;
    void SetFlowControl(TFlowControl value);

    bool OutCTSFlow() const { return outCTSFlow_; }
    void SetOutCTSFlow(bool value);
    bool OutDSRFlow() const { return outDSRFlow_; }
    void SetOutDSRFlow(bool value);
    TDTRFlowControl ControlDTR() const { return controlDTR_; }
    void SetControlDTR(TDTRFlowControl value);
    TRTSFlowControl ControlRTS() const { return controlRTS_; }
    void SetControlRTS(TRTSFlowControl value);
    bool XonXoffOut() const { return xonXoffOut_; }
    void SetXonXoffOut(bool value);
    bool XonXoffIn() const { return xonXoffIn_; }
    void SetXonXoffIn(bool value);
    bool DSRSensitivity() const { return dsrSensitivity_; }
    void SetDSRSensitivity(bool value);
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    void SetTxContinueOnXoff(bool value);
    char XonChar() const { return xonChar_; }
    void SetXonChar(char value);
    char XoffChar() const { return xoffChar_; }
    void SetXoffChar(char value);

private:
    bool outCTSFlow_ = false;
    bool outDSRFlow_ = false;
    TDTRFlowControl controlDTR_ = dtrDisable;
    TRTSFlowControl controlRTS_ = rtsDisable;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
    char xonChar_ = 17;
    char xoffChar_ = 19;
};

class TComTimeouts : public TComSettings {
public:
    explicit TComTimeouts(TCustomComPort* port = nullptr) : TComSettings(port) {}
    void CopySettingsFrom(const TPersistent& source) override;
    const char* ClassName() const noexcept override { return "TComTimeouts"; }

    // Milliseconds; -1 stands for the largest value.
    std::int32_t ReadInterval() const { return readInterval_; }
    void SetReadInterval(std::int32_t value);
    std::int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
    void SetReadTotalMultiplier(std::int32_t value);
    std::int32_t ReadTotalConstant() const { return readTotalConstant_; }
    void SetReadTotalConstant(std::int32_t value);
    std::int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
    void SetWriteTotalMultiplier(std::int32_t value);
    std::int32_t WriteTotalConstant() const { return writeTotalConstant_; }
    void SetWriteTotalConstant(std::int32_t value);

private:
    void Set(std::int32_t& field, std::int32_t value);
    std::int32_t readInterval_ = -1;
    std::int32_t readTotalMultiplier_ = 0;
    std::int32_t readTotalConstant_ = 0;
    std::int32_t writeTotalMultiplier_ = 100;
    std::int32_t writeTotalConstant_ = 1000;
};

class TComBuffer : public TComSettings {
public:
    explicit TComBuffer(TCustomComPort* port = nullptr) : TComSettings(port) {}
    void CopySettingsFrom(const TPersistent& source) override;
    const char* ClassName() const noexcept override { return "TComBuffer"; }

    // A positive odd size is lowered by one after it is stored.
    std::int32_t InputSize() const { return inputSize_; }
    void SetInputSize(std::int32_t value);
    std::int32_t OutputSize() const { return outputSize_; }
    void SetOutputSize(std::int32_t value);

private:
    void Set(std::int32_t& field, std::int32_t value);
    std::int32_t inputSize_ = 1024;
    std::int32_t outputSize_ = 1024;
};

// The record of one asynchronous transfer (NewTransfer / FreeTransfer, or
// simply a local object). Keep it and its buffer untouched until
// AwaitTransfer on it has returned.
class TComTransfer {
public:
    TComTransfer() = default;
    TComTransfer(const TComTransfer&) = delete;
    TComTransfer& operator=(const TComTransfer&) = delete;
    TTransferKind Kind() const { return kind_; }

private:
    friend class TCustomComPort;
    TTransferKind kind_ = trNone;
    device::Transfer io_;
    std::shared_ptr<device::SerialDevice> device_;  // the device the transfer was started on
};

using TNotifyEvent = std::function<void(TCustomComPort& sender)>;
using TRxCharEvent = std::function<void(TCustomComPort& sender, int count)>;
using TRxBufEvent = std::function<void(TCustomComPort& sender, const void* buffer, int count)>;
using TComSignalEvent = std::function<void(TCustomComPort& sender, bool onOff)>;
using TComErrorEvent = std::function<void(TCustomComPort& sender, TComErrors errors)>;
// Runs a task on the GUI thread, later, in the order posted (used by
// smThreadSync and smWindowSync). Without one, those tasks run on the
// monitoring thread itself.
using TGuiDispatcher = std::function<void(std::function<void()> task)>;

class TComThread;

// Which thread may use what. "Caller" is the thread that owns the port (the
// GUI thread in this program); "monitor" is the port's monitoring thread.
//
// | members                                              | threads                                  |
// |------------------------------------------------------|------------------------------------------|
// | settings and their setters, Events, SyncMethod,      | caller only; not serialised with the     |
// | PersistedGroups, settings storage, Apply*, Build*    | monitor, which reads SyncMethod and      |
// |                                                      | Parity().Check() while it dispatches     |
// | On... handlers, GuiDispatcher                        | assigned by the caller while closed      |
// | the name the port was opened with (errors name it)   | written by OpenPort, read by any         |
// | OpenPort, SetConnected, SetPort, FinishLoading,      | caller                                   |
// | Connected, ThreadCreated, MonitoringError            |                                          |
// | ClosePort                                            | caller, or a handler on the monitor,     |
// |                                                      | which ends once that handler returns     |
// | WriteText, ReadText, Start*, AwaitTransfer,          | any, concurrently; one TComTransfer      |
// | AbortTransfers, PurgeBuffers, SetBreakState,         | record belongs to one thread at a time   |
// | WaitingInputCount, ReadModemSignals, ReadLineErrors  |                                          |
// | Fire... and the handlers they call                   | open/close events: caller; line events:  |
// |                                                      | monitor (smNone) or the GUI thread       |
// |                                                      | through GuiDispatcher (the other modes)  |
class TCustomComPort : public TComponent {
public:
    explicit TCustomComPort(TComponent* owner = nullptr);
    ~TCustomComPort() override;
    const char* ClassName() const noexcept override { return "TCustomComPort"; }

    // Settings storage (defined with the stores).
    virtual void SaveSettingsToRegistry(core::TRegistryKeyAccess& registry);
    virtual void SaveSettingsToIni(core::TCustomIniFile& store);
    virtual void LoadSettingsFromRegistry(core::TRegistryKeyAccess& registry);
    virtual void LoadSettingsFromIni(core::TCustomIniFile& store);

    // Lifecycle.
    void OpenPort();
    void ClosePort();
    virtual void OpenDevice();
    virtual void CloseDevice();
    virtual void ConfigureDevice();
    void FinishLoading() override;

    // Line events, called on the monitoring thread (or as SyncMethod says).
    virtual void FireAfterClose();
    virtual void FireAfterOpen();
    virtual void FireBeforeClose();
    virtual void FireBeforeOpen();
    virtual void FireRxChar(int count);
    virtual void FireRxBuf(const void* buffer, int count);
    virtual void FireTxEmpty();
    virtual void FireBreak();
    virtual void FireRing();
    virtual void FireRxFlag();
    virtual void FireCTSChange(bool onOff);
    virtual void FireDSRChange(bool onOff);
    virtual void FireError(TComErrors errors);
    virtual void FireRLSDChange(bool onOff);
    virtual void FireRx80Full();
    // The device went away while the port was open; see OnRemoved.
    virtual void FireRemoved();

    // Makes `device` the open device: for an OpenDevice that finds its device elsewhere.
    void UseDevice(std::shared_ptr<device::SerialDevice> device);

    // Hand the settings to an open device; nothing while closed, loading or designing.
    virtual void ApplyLineSettings();
    virtual void ApplyTimeoutSettings();
    virtual void ApplyQueueSizes();

    // The records ApplyLineSettings / ApplyTimeoutSettings hand to the device.
    device::DeviceControlBlock BuildDeviceControlBlock() const;
    device::CommTimeouts BuildCommTimeouts() const;

    // Transfers. Byte strings hold raw bytes.
    int WriteText(const std::string& text);
    int ReadText(std::string& text, int count);
    int StartWrite(const void* buffer, int count, TComTransfer* transfer);
    int StartWriteText(const std::string& text, TComTransfer* transfer);
    int StartRead(void* buffer, int count, TComTransfer* transfer);
    int StartReadText(std::string& text, int count, TComTransfer* transfer);
    int AwaitTransfer(TComTransfer* transfer);
    void AbortTransfers();
    static TComTransfer* NewTransfer();
    static void FreeTransfer(TComTransfer* transfer);

    // Line control and queries.
    void PurgeBuffers(bool input, bool output);
    void SetBreakState(bool on);
    int WaitingInputCount();
    TLineSignals ReadModemSignals();
    TComErrors ReadLineErrors();

    // Properties.
    bool Connected() const { return connected_; }
    void SetConnected(bool value);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    std::int32_t CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(std::int32_t value);
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& value);
    TComParity& Parity() { return *parity_; }
    const TComParity& Parity() const { return *parity_; }
    void SetParity(const TComParity& value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits value);
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool value);
    char EventChar() const { return eventChar_; }
    void SetEventChar(char value);
    TComEvents Events() const { return events_; }
    void SetEvents(TComEvents value) { events_ = value; }
    TComBuffer& Buffer() { return *buffer_; }
    const TComBuffer& Buffer() const { return *buffer_; }
    void SetBuffer(const TComBuffer& value);
    TComFlowControl& FlowControl() { return *flowControl_; }
    const TComFlowControl& FlowControl() const { return *flowControl_; }
    void SetFlowControl(const TComFlowControl& value);
    TComTimeouts& Timeouts() { return *timeouts_; }
    const TComTimeouts& Timeouts() const { return *timeouts_; }
    void SetTimeouts(const TComTimeouts& value);
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod value);

    TComSettingGroups PersistedGroups() const { return persistedGroups_; }
    void SetPersistedGroups(TComSettingGroups value) { persistedGroups_ = value; }

    // True while a monitoring thread exists (the port is open and Events is not empty).
    bool ThreadCreated() const { return threadCreated_; }
    // The error that ended the monitoring thread: one a handler raised, or
    // the removal of the device (an EComPort whose DeviceRemoved() is true).
    std::exception_ptr MonitoringError() const;

    // Events (all unassigned by default).
    TNotifyEvent OnAfterOpen;
    TNotifyEvent OnAfterClose;
    TNotifyEvent OnBeforeOpen;
    TNotifyEvent OnBeforeClose;
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnBreak;
    TNotifyEvent OnRing;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TNotifyEvent OnRxFlag;
    TComErrorEvent OnError;
    TNotifyEvent OnRx80Full;
    // The device went away while the port was open (a USB adapter pulled
    // out): monitoring has ended, MonitoringError() says so, and the port
    // can only be closed. Fired once, through GuiDispatcher where one is
    // set, else on the monitoring thread; never after the port has closed.
    TNotifyEvent OnRemoved;

    // How smThreadSync / smWindowSync reach the GUI thread.
    TGuiDispatcher GuiDispatcher;

private:
    friend class TComThread;
    bool CanApply() const;
    std::shared_ptr<device::SerialDevice> CurrentDevice() const;
    void DispatchEvent(TComEvent event);
    void StopThread();

    // Settings.
    TBaudRate baudRate_ = br9600;
    std::int32_t customBaudRate_ = 9600;
    std::string port_ = "COM1";
    TStopBits stopBits_ = sbOneStopBit;
    TDataBits dataBits_ = dbEight;
    bool discardNull_ = false;
    char eventChar_ = 0;
    TComEvents events_ = kAllComEvents;
    TSyncMethod syncMethod_ = smThreadSync;
    TComSettingGroups persistedGroups_{sgBasic};
    std::unique_ptr<TComParity> parity_;
    std::unique_ptr<TComFlowControl> flowControl_;
    std::unique_ptr<TComTimeouts> timeouts_;
    std::unique_ptr<TComBuffer> buffer_;

    // Open state.
    bool connected_ = false;
    std::string openedPort_;
    mutable std::mutex deviceLock_;
    std::shared_ptr<device::SerialDevice> device_;
    bool threadCreated_ = false;
    std::unique_ptr<TComThread> thread_;
    std::exception_ptr monitoringError_;
    // Shared with tasks posted to the GUI thread, so that a task outliving the port does nothing.
    struct Life {
        std::recursive_mutex lock;
        TCustomComPort* port = nullptr;
        unsigned long opening = 0;  // counts the openings, under the lock
    };
    std::shared_ptr<Life> life_;
};

class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
    const char* ClassName() const noexcept override { return "TComPort"; }
};

// Mapping between TComEvents and the driver's event mask bits.
std::uint32_t EventsToMask(TComEvents events);
TComEvents MaskToEvents(std::uint32_t mask);

}  // namespace serial
