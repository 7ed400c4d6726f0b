// Lifecycle, configuration records, transfers and line control of the port.
#include "serial/com_port.h"
#include "serial/com_thread.h"
#include "serial/open_failure.h"

namespace serial {

namespace {

struct EventBit {
    TComEvent event;
    std::uint32_t mask;
};
constexpr EventBit kEventBits[] = {
    {evRxChar, device::EV_RXCHAR}, {evTxEmpty, device::EV_TXEMPTY}, {evRxFlag, device::EV_RXFLAG},
    {evRing, device::EV_RING},     {evBreak, device::EV_BREAK},     {evCTS, device::EV_CTS},
    {evDSR, device::EV_DSR},       {evError, device::EV_ERR},       {evRLSD, device::EV_RLSD},
    {evRx80Full, device::EV_RX80FULL},
};

std::uint32_t AsUnsigned(std::int32_t value) { return static_cast<std::uint32_t>(value); }

// Where a device's error code (the system's) becomes the component's error: the
// operation's error number, with the code as the system code. A failed opening
// also says which device it was, why, and what to do about it; a call on a
// device that went away says that, whatever the call.
void CheckDevice(int errorNumber, int error, const std::string& port, device::SerialDevice* device = nullptr) {
    if (error == 0) return;
    if (errorNumber == CError_OpenFailed) throw EComPort(errorNumber, error, OpenFailureLine(port, error));
    if (device && device->Gone(error)) throw EComPort::Removed(errorNumber, error, port);
    throw EComPort(errorNumber, error);
}

// Runs one device call (on a closed port the system's code for a closed
// handle) and raises `errorNumber` on failure.
template <typename Call>
void DeviceCall(const std::shared_ptr<device::SerialDevice>& device, const std::string& port, int errorNumber,
                Call call) {
    CheckDevice(errorNumber, device ? call(*device) : device::SystemErrorCode(device::SystemFailure::ClosedPort), port,
                device.get());
}

}  // namespace

std::uint32_t EventsToMask(TComEvents events) {
    std::uint32_t mask = 0;
    for (const auto& b : kEventBits) {
        if (events.Contains(b.event)) mask |= b.mask;
    }
    return mask;
}

TComEvents MaskToEvents(std::uint32_t mask) {
    TComEvents events;
    for (const auto& b : kEventBits) {
        if (mask & b.mask) events.Include(b.event);
    }
    return events;
}

TCustomComPort::TCustomComPort(TComponent* owner)
    : TComponent(owner),
      parity_(std::make_unique<TComParity>(this)),
      flowControl_(std::make_unique<TComFlowControl>(this)),
      timeouts_(std::make_unique<TComTimeouts>(this)),
      buffer_(std::make_unique<TComBuffer>(this)),
      life_(std::make_shared<Life>()) {
    life_->port = this;
}

TCustomComPort::~TCustomComPort() {
    {
        std::lock_guard guard(life_->lock);
        life_->port = nullptr;
    }
    try {
        ClosePort();
    } catch (...) {
        // Closing stopped half-way: the device must still go.
        StopThread();
        CloseDevice();
        connected_ = false;
    }
    buffer_.reset();
    flowControl_.reset();
    timeouts_.reset();
    parity_.reset();
}

// --- lifecycle --------------------------------------------------------------

void TCustomComPort::OpenPort() {
    if (connected_ || Designing()) return;
    openedPort_ = port_;
    {
        std::lock_guard guard(life_->lock);
        ++life_->opening;
    }
    FireBeforeOpen();
    OpenDevice();
    connected_ = true;
    try {
        ConfigureDevice();
    } catch (...) {
        CloseDevice();
        connected_ = false;
        throw;
    }
    monitoringError_ = nullptr;
    if (events_.Empty()) {
        threadCreated_ = false;
    } else {
        thread_ = std::make_unique<TComThread>(*this);
        threadCreated_ = true;
    }
    FireAfterOpen();
    FireCTSChange(ReadModemSignals().Contains(sigCTS));
    FireDSRChange(ReadModemSignals().Contains(sigDSR));
    FireRLSDChange(ReadModemSignals().Contains(sigRLSD));
}

void TCustomComPort::ClosePort() {
    if (!connected_ || Designing()) return;
    FireCTSChange(false);
    FireDSRChange(false);
    FireRLSDChange(false);
    FireBeforeClose();
    // A device that went away refuses the abort; it is closed all the same
    // (its calls in progress end as the handle goes), so that the port can
    // be opened again once the adapter is back.
    try {
        AbortTransfers();
    } catch (const EComPort& error) {
        if (!error.DeviceRemoved()) throw;
    }
    if (threadCreated_) StopThread();
    CloseDevice();
    connected_ = false;
    FireAfterClose();
}

void TCustomComPort::StopThread() {
    if (thread_) {
        thread_->StopMonitoring();
        monitoringError_ = thread_->FatalException();
        thread_.reset();
    }
    threadCreated_ = false;
}

std::exception_ptr TCustomComPort::MonitoringError() const {
    return thread_ ? thread_->FatalException() : monitoringError_;
}

void TCustomComPort::OpenDevice() {
    int error = 0;
    auto device = device::OpenSerialDevice(port_, error);
    CheckDevice(CError_OpenFailed, device ? 0 : error, port_);
    UseDevice(std::move(device));
}

void TCustomComPort::UseDevice(std::shared_ptr<device::SerialDevice> device) {
    std::lock_guard guard(deviceLock_);
    device_ = std::move(device);
}

void TCustomComPort::CloseDevice() {
    std::shared_ptr<device::SerialDevice> device;
    {
        std::lock_guard guard(deviceLock_);
        device.swap(device_);
    }
    // Calls still running on other threads end with their errors; the handle
    // goes with the last of them.
    if (device) device->Shutdown();
}

void TCustomComPort::ConfigureDevice() {
    ApplyQueueSizes();
    ApplyLineSettings();
    ApplyTimeoutSettings();
}

void TCustomComPort::FinishLoading() {
    TComponent::FinishLoading();
    if (connected_ && !Designing()) {
        connected_ = false;
        try {
            OpenPort();
        } catch (...) {
            HandleApplicationException(this, std::current_exception());
        }
    }
}

std::shared_ptr<device::SerialDevice> TCustomComPort::CurrentDevice() const {
    std::lock_guard guard(deviceLock_);
    return device_;
}

bool TCustomComPort::CanApply() const { return connected_ && !Loading() && !Designing(); }

// --- configuration ----------------------------------------------------------

device::DeviceControlBlock TCustomComPort::BuildDeviceControlBlock() const {
    device::DeviceControlBlock dcb;
    dcb.DCBlength = 28;
    dcb.BaudRate = AsUnsigned(baudRate_ == brCustom ? customBaudRate_ : BaudRateValue(baudRate_));
    const TComParity& parity = *parity_;
    const TComFlowControl& flow = *flowControl_;
    std::uint32_t flags = device::kDcbBinary;
    if (parity.Check()) flags |= device::kDcbParity;
    if (flow.OutCTSFlow()) flags |= device::kDcbOutxCtsFlow;
    if (flow.OutDSRFlow()) flags |= device::kDcbOutxDsrFlow;
    flags |= static_cast<std::uint32_t>(flow.ControlDTR()) << device::kDcbDtrControlShift;
    if (flow.DSRSensitivity()) flags |= device::kDcbDsrSensitivity;
    if (flow.TxContinueOnXoff()) flags |= device::kDcbTxContinueOnXoff;
    if (flow.XonXoffOut()) flags |= device::kDcbOutX;
    if (flow.XonXoffIn()) flags |= device::kDcbInX;
    const bool replace = parity.Check() && parity.Replace();
    if (replace) flags |= device::kDcbErrorChar;
    if (discardNull_) flags |= device::kDcbNull;
    flags |= static_cast<std::uint32_t>(flow.ControlRTS()) << device::kDcbRtsControlShift;
    dcb.Flags = flags;
    dcb.XonLim = static_cast<std::uint16_t>(buffer_->InputSize() / 4);
    dcb.XoffLim = dcb.XonLim;
    dcb.ByteSize = static_cast<std::uint8_t>(5 + dataBits_);
    dcb.Parity = static_cast<std::uint8_t>(parity.Bits());
    dcb.StopBits = static_cast<std::uint8_t>(stopBits_);
    dcb.XonChar = flow.XonChar();
    dcb.XoffChar = flow.XoffChar();
    dcb.ErrorChar = replace ? parity.ReplaceChar() : 0;
    dcb.EofChar = 0;
    dcb.EvtChar = eventChar_;
    return dcb;
}

device::CommTimeouts TCustomComPort::BuildCommTimeouts() const {
    device::CommTimeouts t;
    t.ReadIntervalTimeout = AsUnsigned(timeouts_->ReadInterval());
    t.ReadTotalTimeoutMultiplier = AsUnsigned(timeouts_->ReadTotalMultiplier());
    t.ReadTotalTimeoutConstant = AsUnsigned(timeouts_->ReadTotalConstant());
    t.WriteTotalTimeoutMultiplier = AsUnsigned(timeouts_->WriteTotalMultiplier());
    t.WriteTotalTimeoutConstant = AsUnsigned(timeouts_->WriteTotalConstant());
    return t;
}

void TCustomComPort::ApplyLineSettings() {
    if (!CanApply()) return;
    const auto dcb = BuildDeviceControlBlock();
    DeviceCall(CurrentDevice(), openedPort_, CError_SetStateFailed, [&](auto& d) { return d.SetState(dcb); });
}

void TCustomComPort::ApplyTimeoutSettings() {
    if (!CanApply()) return;
    const auto timeouts = BuildCommTimeouts();
    DeviceCall(CurrentDevice(), openedPort_, CError_TimeoutsFailed, [&](auto& d) { return d.SetTimeouts(timeouts); });
}

void TCustomComPort::ApplyQueueSizes() {
    if (!CanApply()) return;
    const std::int32_t in = buffer_->InputSize(), out = buffer_->OutputSize();
    DeviceCall(CurrentDevice(), openedPort_, CError_SetupComFailed, [&](auto& d) { return d.SetQueueSizes(in, out); });
}

// --- transfers --------------------------------------------------------------

TComTransfer* TCustomComPort::NewTransfer() { return new TComTransfer(); }

void TCustomComPort::FreeTransfer(TComTransfer* transfer) { delete transfer; }

int TCustomComPort::StartWrite(const void* buffer, int count, TComTransfer* transfer) {
    if (!transfer) throw EComPort(CError_InvalidAsync);
    transfer->kind_ = trWrite;
    transfer->device_ = CurrentDevice();
    const bool valid = count >= 0 && (count == 0 || buffer);
    DeviceCall(transfer->device_, openedPort_, CError_WriteFailed, [&](auto& d) {
        return valid ? d.StartWrite(transfer->io_, static_cast<const std::uint8_t*>(buffer), count)
                     : device::SystemErrorCode(device::SystemFailure::InvalidArgument);
    });
    return transfer->io_.completed ? transfer->io_.done : 0;
}

int TCustomComPort::StartWriteText(const std::string& text, TComTransfer* transfer) {
    if (text.empty()) return 0;
    return StartWrite(text.data(), static_cast<int>(text.size()), transfer);
}

int TCustomComPort::StartRead(void* buffer, int count, TComTransfer* transfer) {
    if (!transfer) throw EComPort(CError_InvalidAsync);
    transfer->kind_ = trRead;
    transfer->device_ = CurrentDevice();
    const bool valid = count >= 0 && (count == 0 || buffer);
    DeviceCall(transfer->device_, openedPort_, CError_ReadFailed, [&](auto& d) {
        return valid ? d.StartRead(transfer->io_, static_cast<std::uint8_t*>(buffer), count)
                     : device::SystemErrorCode(device::SystemFailure::InvalidArgument);
    });
    return transfer->io_.completed ? transfer->io_.done : 0;
}

int TCustomComPort::StartReadText(std::string& text, int count, TComTransfer* transfer) {
    text.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    if (count <= 0) return 0;
    return StartRead(text.data(), count, transfer);
}

int TCustomComPort::AwaitTransfer(TComTransfer* transfer) {
    if (!transfer) throw EComPort(CError_InvalidAsync);
    if (!transfer->io_.started || !transfer->device_) return 0;
    CheckDevice(transfer->kind_ == trWrite ? CError_WriteFailed : CError_ReadFailed,
                transfer->device_->Await(transfer->io_), openedPort_, transfer->device_.get());
    return transfer->io_.done;
}

int TCustomComPort::WriteText(const std::string& text) {
    TComTransfer transfer;
    StartWriteText(text, &transfer);
    return AwaitTransfer(&transfer);
}

int TCustomComPort::ReadText(std::string& text, int count) {
    TComTransfer transfer;
    StartReadText(text, count, &transfer);
    const int n = AwaitTransfer(&transfer);
    text.resize(static_cast<std::size_t>(n));
    return n;
}

void TCustomComPort::AbortTransfers() {
    DeviceCall(CurrentDevice(), openedPort_, CError_PurgeFailed, [](auto& d) { return d.Abort(); });
}

// --- line control -----------------------------------------------------------

void TCustomComPort::PurgeBuffers(bool input, bool output) {
    DeviceCall(CurrentDevice(), openedPort_, CError_PurgeFailed, [&](auto& d) { return d.Purge(input, output); });
}

void TCustomComPort::SetBreakState(bool on) {
    DeviceCall(CurrentDevice(), openedPort_, CError_EscapeComFailed, [&](auto& d) { return d.SetBreak(on); });
}

int TCustomComPort::WaitingInputCount() {
    std::uint32_t errors = 0;
    int waiting = 0;
    DeviceCall(CurrentDevice(), openedPort_, CError_ClearComFailed, [&](auto& d) { return d.ClearErrors(errors, waiting); });
    return waiting;
}

TLineSignals TCustomComPort::ReadModemSignals() {
    std::uint32_t status = 0;
    DeviceCall(CurrentDevice(), openedPort_, CError_ModemStatFailed, [&](auto& d) { return d.ModemStatus(status); });
    TLineSignals signals;
    if (status & device::MS_CTS_ON) signals.Include(sigCTS);
    if (status & device::MS_DSR_ON) signals.Include(sigDSR);
    if (status & device::MS_RING_ON) signals.Include(sigRing);
    if (status & device::MS_RLSD_ON) signals.Include(sigRLSD);
    return signals;
}

TComErrors TCustomComPort::ReadLineErrors() {
    std::uint32_t flags = 0;
    int waiting = 0;
    DeviceCall(CurrentDevice(), openedPort_, CError_ClearComFailed, [&](auto& d) { return d.ClearErrors(flags, waiting); });
    TComErrors errors;
    if (flags & device::CE_FRAME) errors.Include(errFrame);
    if ((flags & device::CE_RXPARITY) && parity_->Check()) errors.Include(errParity);
    if (flags & device::CE_OVERRUN) errors.Include(errOverrun);
    if (flags & device::CE_RXOVER) errors.Include(errRxOverflow);
    if (flags & device::CE_TXFULL) errors.Include(errTxFull);
    if (flags & device::CE_BREAK) errors.Include(errBreak);
    if (flags & device::CE_IOE) errors.Include(errIO);
    if (flags & device::CE_MODE) errors.Include(errMode);
    return errors;
}

// --- events -----------------------------------------------------------------

void TCustomComPort::DispatchEvent(TComEvent event) {
    switch (event) {
        case evError: {
            const TComErrors errors = ReadLineErrors();
            if (!errors.Empty()) FireError(errors);
            break;
        }
        case evRxChar: {
            const int count = WaitingInputCount();
            if (count > 0) FireRxChar(count);
            break;
        }
        case evTxEmpty: FireTxEmpty(); break;
        case evBreak: FireBreak(); break;
        case evRing: FireRing(); break;
        case evCTS: FireCTSChange(ReadModemSignals().Contains(sigCTS)); break;
        case evDSR: FireDSRChange(ReadModemSignals().Contains(sigDSR)); break;
        case evRxFlag: FireRxFlag(); break;
        case evRLSD: FireRLSDChange(ReadModemSignals().Contains(sigRLSD)); break;
        case evRx80Full: FireRx80Full(); break;
    }
}

void TCustomComPort::FireAfterClose() {
    if (OnAfterClose) OnAfterClose(*this);
}
void TCustomComPort::FireAfterOpen() {
    if (OnAfterOpen) OnAfterOpen(*this);
}
void TCustomComPort::FireBeforeClose() {
    if (OnBeforeClose) OnBeforeClose(*this);
}
void TCustomComPort::FireBeforeOpen() {
    if (OnBeforeOpen) OnBeforeOpen(*this);
}
void TCustomComPort::FireRxChar(int count) {
    if (OnRxChar) OnRxChar(*this, count);
}
void TCustomComPort::FireRxBuf(const void* buffer, int count) {
    if (OnRxBuf) OnRxBuf(*this, buffer, count);
}
void TCustomComPort::FireTxEmpty() {
    if (OnTxEmpty) OnTxEmpty(*this);
}
void TCustomComPort::FireBreak() {
    if (OnBreak) OnBreak(*this);
}
void TCustomComPort::FireRing() {
    if (OnRing) OnRing(*this);
}
void TCustomComPort::FireRxFlag() {
    if (OnRxFlag) OnRxFlag(*this);
}
void TCustomComPort::FireCTSChange(bool onOff) {
    if (OnCTSChange) OnCTSChange(*this, onOff);
}
void TCustomComPort::FireDSRChange(bool onOff) {
    if (OnDSRChange) OnDSRChange(*this, onOff);
}
void TCustomComPort::FireError(TComErrors errors) {
    if (OnError) OnError(*this, errors);
}
void TCustomComPort::FireRLSDChange(bool onOff) {
    if (OnRLSDChange) OnRLSDChange(*this, onOff);
}
void TCustomComPort::FireRx80Full() {
    if (OnRx80Full) OnRx80Full(*this);
}
void TCustomComPort::FireRemoved() {
    if (OnRemoved) OnRemoved(*this);
}

}  // namespace serial
