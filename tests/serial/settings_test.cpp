// Port settings: defaults, text forms, setter rules and the configuration
// records handed to the device.
#include <gtest/gtest.h>

#include <cerrno>

#include "core/platform/exception.h"
#include "serial/com_port.h"
#include "program_port.h"

using namespace serial;

namespace {

class CountingPort : public TComPort {
public:
    using TComPort::TComPort;
    int lineApplies = 0;
    int timeoutApplies = 0;
    int queueApplies = 0;
    void ApplyLineSettings() override {
        ++lineApplies;
        TComPort::ApplyLineSettings();
    }
    void ApplyTimeoutSettings() override {
        ++timeoutApplies;
        TComPort::ApplyTimeoutSettings();
    }
    void ApplyQueueSizes() override {
        ++queueApplies;
        TComPort::ApplyQueueSizes();
    }
    void ResetCounts() { lineApplies = timeoutApplies = queueApplies = 0; }
};

}  // namespace

TEST(PortSettings, NewPortHasTheDocumentedDefaults) {
    TComPort port;
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.CustomBaudRate(), 9600);
    EXPECT_EQ(port.Port(), "COM1");
    EXPECT_EQ(port.Parity().Bits(), prNone);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    EXPECT_EQ(port.DataBits(), dbEight);
    EXPECT_EQ(port.Events(), kAllComEvents);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    EXPECT_EQ(port.Timeouts().ReadInterval(), -1);
    EXPECT_EQ(port.Timeouts().ReadTotalMultiplier(), 0);
    EXPECT_EQ(port.Timeouts().ReadTotalConstant(), 0);
    EXPECT_EQ(port.Timeouts().WriteTotalMultiplier(), 100);
    EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 1000);
    EXPECT_EQ(port.Buffer().InputSize(), 1024);
    EXPECT_EQ(port.Buffer().OutputSize(), 1024);
    EXPECT_EQ(port.FlowControl().XonChar(), 17);
    EXPECT_EQ(port.FlowControl().XoffChar(), 19);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.PersistedGroups(), TComSettingGroups{sgBasic});
    EXPECT_EQ(port.Parity().ComPort(), &port);
}

TEST(PortSettings, TextFormsConvertBothWaysWithFallbacks) {
    EXPECT_EQ(TextToBaudRate("custom"), brCustom);
    EXPECT_EQ(TextToBaudRate("9601"), br9600);
    EXPECT_EQ(TextToBaudRate("115200"), br115200);
    EXPECT_EQ(TextToBaudRate(" 110"), br9600);  // no trimming
    EXPECT_EQ(TextToStopBits("1.5"), sbOne5StopBits);
    EXPECT_EQ(TextToStopBits("3"), sbOneStopBit);
    EXPECT_EQ(TextToDataBits("9"), dbEight);
    EXPECT_EQ(TextToParity("space"), prSpace);
    EXPECT_EQ(TextToParity("Bogus"), prNone);
    EXPECT_EQ(TextToFlowControl(""), fcCustom);
    EXPECT_EQ(TextToFlowControl("hardware"), fcHardware);
    EXPECT_EQ(TextToDTRControl("HANDSHAKE"), dtrHandshake);
    EXPECT_EQ(TextToDTRControl("Toggle"), dtrDisable);
    EXPECT_EQ(TextToRTSControl("toggle"), rtsToggle);
    for (int i = brCustom; i <= br256000; ++i) {
        EXPECT_EQ(TextToBaudRate(BaudRateToText(static_cast<TBaudRate>(i))), i);
    }
    for (int i = rtsDisable; i <= rtsToggle; ++i) {
        EXPECT_EQ(TextToRTSControl(RTSControlToText(static_cast<TRTSFlowControl>(i))), i);
    }
    EXPECT_EQ(BoolToText(true), "Yes");
    EXPECT_EQ(BoolToText(false), "No");
    EXPECT_TRUE(TextToBool("yEs"));
    EXPECT_FALSE(TextToBool("True"));
    EXPECT_FALSE(TextToBool("1"));
}

TEST(PortSettings, CharacterTextForms) {
    EXPECT_EQ(CharToText(' '), "#32");
    EXPECT_EQ(CharToText('A'), "A");
    EXPECT_EQ(CharToText(127), std::string(1, 127));
    EXPECT_EQ(CharToText(0), "#0");
    EXPECT_EQ(CharToText(17), "#17");
    EXPECT_EQ(CharToText(static_cast<char>(200)), "#200");
    EXPECT_EQ(TextToChar(""), 0);
    EXPECT_EQ(TextToChar("#"), '#');
    EXPECT_EQ(TextToChar("#x"), 0);
    EXPECT_EQ(TextToChar("AB"), 'A');
    EXPECT_EQ(TextToChar("#300"), 44);
    EXPECT_EQ(TextToChar("#-1"), static_cast<char>(255));
    EXPECT_EQ(TextToChar("#17"), 17);
    EXPECT_EQ(TextToChar("#99999999999"), 0);  // beyond 32 bits
    EXPECT_EQ(TextToChar("#1 "), 0);
}

TEST(PortSettings, FlowControlModeIsDerivedAndWritten) {
    TComPort port;
    port.FlowControl().SetTxContinueOnXoff(true);
    port.FlowControl().SetControlDTR(dtrEnable);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);

    port.FlowControl().SetFlowControl(fcHardware);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcHardware);
    EXPECT_EQ(port.FlowControl().ControlRTS(), rtsHandshake);
    EXPECT_TRUE(port.FlowControl().OutCTSFlow());
    port.FlowControl().SetXonXoffIn(true);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcCustom);

    port.FlowControl().SetFlowControl(fcSoftware);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcSoftware);
    EXPECT_FALSE(port.FlowControl().OutCTSFlow());
    port.FlowControl().SetFlowControl(fcCustom);  // changes nothing
    EXPECT_EQ(port.FlowControl().FlowControl(), fcSoftware);
    EXPECT_EQ(port.FlowControl().ControlDTR(), dtrEnable);  // not part of the mode
}

TEST(PortSettings, SettersCompareBeforeApplyingAndMakeQueueSizesEven) {
    CountingPort port;
    port.Buffer().SetInputSize(254);
    port.ResetCounts();
    port.Buffer().SetInputSize(255);
    EXPECT_EQ(port.Buffer().InputSize(), 254);
    EXPECT_EQ(port.queueApplies, 1);
    port.Buffer().SetInputSize(254);
    EXPECT_EQ(port.queueApplies, 1);
    port.Buffer().SetOutputSize(1);
    EXPECT_EQ(port.Buffer().OutputSize(), 0);
    port.Buffer().SetOutputSize(-3);
    EXPECT_EQ(port.Buffer().OutputSize(), -3);

    port.SetBaudRate(br9600);
    port.Parity().SetBits(prNone);
    port.Timeouts().SetReadInterval(-1);
    EXPECT_EQ(port.lineApplies, 0);
    EXPECT_EQ(port.timeoutApplies, 0);
    port.SetBaudRate(br19200);
    port.Timeouts().SetReadInterval(5);
    EXPECT_EQ(port.lineApplies, 1);
    EXPECT_EQ(port.timeoutApplies, 1);

    // The mode and whole-object assignments always apply, once each.
    port.FlowControl().SetFlowControl(fcNone);
    port.FlowControl().SetFlowControl(fcCustom);
    EXPECT_EQ(port.lineApplies, 3);
    TComTimeouts timeouts;
    timeouts.SetReadTotalConstant(7);
    port.SetTimeouts(timeouts);
    EXPECT_EQ(port.timeoutApplies, 2);
    EXPECT_EQ(port.Timeouts().ReadTotalConstant(), 7);
    EXPECT_EQ(port.Timeouts().ComPort(), &port);  // the copy keeps the owner
}

TEST(PortSettings, CopyingBetweenDifferentSettingsClassesIsRefused) {
    TComParity parity;
    TComBuffer buffer;
    try {
        parity.CopySettingsFrom(buffer);
        FAIL() << "copy accepted";
    } catch (const core::EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TComBuffer to a TComParity");
    }
    TComFlowControl a, b;
    b.SetXonChar('Q');
    b.SetFlowControl(fcHardware);
    a.CopySettingsFrom(b);
    EXPECT_EQ(a.XonChar(), 'Q');
    EXPECT_EQ(a.FlowControl(), fcHardware);
    EXPECT_EQ(a.ComPort(), nullptr);
}

TEST(PortSettings, ProgramPortBuildsItsDeviceRecords) {
    TComPort port;
    ConfigureAsProgram(port);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);
    const auto dcb = port.BuildDeviceControlBlock();
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.Flags, 0x81u);
    EXPECT_EQ(dcb.XonLim, 63);
    EXPECT_EQ(dcb.XoffLim, 63);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 2);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
    EXPECT_EQ(dcb.ErrorChar, 0);
    const auto t = port.BuildCommTimeouts();
    EXPECT_EQ(t.ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 100u);

    port.Timeouts().SetReadInterval(-2);
    EXPECT_EQ(port.BuildCommTimeouts().ReadIntervalTimeout, 0xFFFFFFFEu);
}

TEST(PortSettings, DeviceRecordFlagsFollowEverySetting) {
    TComPort port;
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(31250);
    port.Parity().SetCheck(true);
    port.Parity().SetReplace(true);
    port.Parity().SetReplaceChar('?');
    port.FlowControl().SetControlDTR(dtrHandshake);
    port.FlowControl().SetControlRTS(rtsToggle);
    port.FlowControl().SetOutDSRFlow(true);
    port.FlowControl().SetDSRSensitivity(true);
    port.FlowControl().SetXonXoffIn(true);
    port.SetDiscardNull(true);
    port.SetEventChar('\n');
    port.Buffer().SetInputSize(1024);
    const auto dcb = port.BuildDeviceControlBlock();
    EXPECT_EQ(dcb.BaudRate, 31250u);
    EXPECT_EQ(dcb.Flags, 0x1u | 0x2u | 0x8u | 0x20u | 0x40u | 0x200u | 0x400u | 0x800u | 0x3000u);
    EXPECT_EQ(dcb.ErrorChar, '?');
    EXPECT_EQ(dcb.EvtChar, '\n');
    EXPECT_EQ(dcb.XonLim, 256);
    port.Parity().SetCheck(false);  // replacement only while parity is checked
    EXPECT_EQ(port.BuildDeviceControlBlock().Flags & 0x400u, 0u);
    EXPECT_EQ(port.BuildDeviceControlBlock().ErrorChar, 0);
}

TEST(PortSettings, EventMaskMapping) {
    EXPECT_EQ(EventsToMask({evRxChar}), 0x0001u);
    EXPECT_EQ(EventsToMask({evRLSD, evRing}), 0x0120u);
    EXPECT_EQ(EventsToMask(kAllComEvents), 0x05FFu);
    EXPECT_EQ(MaskToEvents(0x05FF), kAllComEvents);
    EXPECT_EQ(MaskToEvents(0x0200 | 0x0040), TComEvents{evBreak});  // unknown bits dropped
}

TEST(PortSettings, LoadingStoresWithoutApplyingAndFinishLoadingOpensOnce) {
    CountingPort port;
    int opens = 0;
    port.OnAfterOpen = [&](TCustomComPort&) { ++opens; };
    port.BeginLoading();
    port.SetConnected(true);
    port.SetPort("SIM");
    port.SetBaudRate(br2400);
    port.SetEvents({});
    EXPECT_EQ(opens, 0);
    port.FinishLoading();
    EXPECT_EQ(opens, 1);
    EXPECT_TRUE(port.Connected());
    EXPECT_FALSE(port.Loading());
}

TEST(PortSettings, FinishLoadingHandsAnOpenFailureToTheApplication) {
    TComPort port;
    TComponent* sender = nullptr;
    std::string message;
    SetApplicationExceptionHandler([&](TComponent* s, std::exception_ptr e) {
        sender = s;
        try {
            std::rethrow_exception(e);
        } catch (const EComPort& error) {
            message = error.what();
        }
    });
    port.BeginLoading();
    port.SetConnected(true);
    port.SetPort("pd-no-such-port");
    port.FinishLoading();
    SetApplicationExceptionHandler(nullptr);
    EXPECT_EQ(sender, &port);
    // The first line is the port's own message; the second explains it, naming the port.
    const auto lineEnd = message.find('\n');
    EXPECT_EQ(message.substr(0, lineEnd), "Unable to open com port (win error code: 2)");
    EXPECT_NE(message.find("pd-no-such-port", lineEnd), std::string::npos);
    EXPECT_FALSE(port.Connected());
}

TEST(PortErrors, MessagesCarryNumberAndSystemCode) {
    EComPort withCode(CError_OpenFailed, 2);
    EXPECT_STREQ(withCode.what(), "Unable to open com port (win error code: 2)");
    EXPECT_EQ(withCode.ErrorNumber(), 1);
    EXPECT_EQ(withCode.SystemErrorCode(), 2);
    EComPort negative(CError_ReadFailed, -5);
    EXPECT_STREQ(negative.what(), "ReadFile function failed (win error code: -5)");
    EComPort bare(CError_ConnChangeProp);
    EXPECT_STREQ(bare.what(), "Cannot set property while connected");
    EXPECT_EQ(bare.SystemErrorCode(), -1);
    EXPECT_STREQ(EComPort(CError_InvalidAsync).what(), "Invalid Async parameter");
    EXPECT_STREQ(bare.ClassName(), "EComPort");

    // Without catalogs the table stays English after initialisation.
    InitPortErrorMessages();
    EXPECT_EQ(PortErrorMessages[23], u"Registry error");
    EXPECT_EQ(PortErrorMessages[9], u"SetupComm function failed");
    EXPECT_TRUE(PortErrorMessages[0].empty());
}
