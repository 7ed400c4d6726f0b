#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/platform/exception.h"
#include "core/stores/store_ini_file.h"
#include "core/stores/store_registry_tree.h"
#include "serial/com_port.h"

namespace {

using namespace serial;

// Records every store access in order; keeps what was written so reads can
// find it, and answers missing keys with the default given.
class RecordingIni : public core::TCustomIniFile {
public:
    std::string ReadString(const std::string& section, const std::string& key, const std::string& dflt) override {
        log.push_back("read " + section + "/" + key);
        auto it = values.find(key);
        return it == values.end() ? dflt : it->second;
    }
    void WriteString(const std::string& section, const std::string& key, const std::string& value) override {
        log.push_back("text " + section + "/" + key);
        values[key] = value;
    }
    std::int32_t ReadInteger(const std::string& section, const std::string& key, std::int32_t dflt) override {
        log.push_back("read " + section + "/" + key);
        auto it = values.find(key);
        return it == values.end() ? dflt : std::atoi(it->second.c_str());
    }
    void WriteInteger(const std::string& section, const std::string& key, std::int32_t value) override {
        log.push_back("int " + section + "/" + key);
        values[key] = std::to_string(value);
    }
    std::vector<std::string> log;
    std::map<std::string, std::string> values;
};

class RecordingRegistry : public core::TRegistryKeyAccess {
public:
    std::string ReadString(const std::string& name) override {
        Note("read " + name);
        return {};
    }
    std::int32_t ReadInteger(const std::string& name) override {
        Note("read " + name);
        return 0;
    }
    void WriteString(const std::string& name, const std::string& value) override { Note("text " + name + "=" + value); }
    void WriteInteger(const std::string& name, std::int32_t value) override {
        Note("int " + name + "=" + std::to_string(value));
    }
    void Note(std::string entry) { log.push_back(std::move(entry)); }
    std::vector<std::string> log;
};

constexpr TComSettingGroups kAllGroups = TComSettingGroups::FromBits(0x3F);

// Every persisted setting, read through the getters.
std::map<std::string, std::string> Snapshot(TComPort& p) {
    const TComFlowControl& f = p.FlowControl();
    const TComTimeouts& t = p.Timeouts();
    auto n = [](auto v) { return std::to_string(static_cast<long long>(v)); };
    return {{"Port", p.Port()}, {"BaudRate", n(p.BaudRate())}, {"CustomBaudRate", n(p.CustomBaudRate())},
            {"StopBits", n(p.StopBits())}, {"DataBits", n(p.DataBits())}, {"Parity", n(p.Parity().Bits())},
            {"EventChar", n(p.EventChar())}, {"DiscardNull", n(p.DiscardNull())},
            {"Check", n(p.Parity().Check())}, {"Replace", n(p.Parity().Replace())},
            {"ReplaceChar", n(p.Parity().ReplaceChar())}, {"Out", n(p.Buffer().OutputSize())},
            {"In", n(p.Buffer().InputSize())}, {"RI", n(t.ReadInterval())}, {"RTC", n(t.ReadTotalConstant())},
            {"RTM", n(t.ReadTotalMultiplier())}, {"WTC", n(t.WriteTotalConstant())},
            {"WTM", n(t.WriteTotalMultiplier())}, {"RTS", n(f.ControlRTS())}, {"DTR", n(f.ControlDTR())},
            {"DSRS", n(f.DSRSensitivity())}, {"CTSF", n(f.OutCTSFlow())}, {"DSRF", n(f.OutDSRFlow())},
            {"TxC", n(f.TxContinueOnXoff())}, {"XIn", n(f.XonXoffIn())}, {"XOut", n(f.XonXoffOut())},
            {"Xoff", n(f.XoffChar())}, {"Xon", n(f.XonChar())}};
}

// Moves every persisted setting off its default, with characters that need
// their "#" form.
void Customize(TComPort& p) {
    p.SetPort("/dev/ttyUSB7");
    p.SetBaudRate(brCustom);
    p.SetCustomBaudRate(31250);
    p.SetStopBits(sbTwoStopBits);
    p.SetDataBits(dbSeven);
    p.Parity().SetBits(prMark);
    p.SetEventChar(' ');
    p.SetDiscardNull(true);
    p.Parity().SetCheck(true);
    p.Parity().SetReplace(true);
    p.Parity().SetReplaceChar(static_cast<char>(200));
    p.Buffer().SetOutputSize(512);
    p.Buffer().SetInputSize(254);
    p.Timeouts().SetReadInterval(5);
    p.Timeouts().SetReadTotalConstant(6);
    p.Timeouts().SetReadTotalMultiplier(7);
    p.Timeouts().SetWriteTotalConstant(-1);
    p.Timeouts().SetWriteTotalMultiplier(9);
    TComFlowControl& f = p.FlowControl();
    f.SetControlRTS(rtsToggle);
    f.SetControlDTR(dtrHandshake);
    f.SetDSRSensitivity(true);
    f.SetOutCTSFlow(true);
    f.SetOutDSRFlow(true);
    f.SetTxContinueOnXoff(true);
    f.SetXonXoffIn(true);
    f.SetXoffChar('#');
    f.SetXonChar('\0');
}

TEST(SettingsStorage, DefaultGroupsWriteTheBasicKeysInOrder) {
    TComPort port;
    port.SetName("com");
    RecordingIni ini;
    port.SaveSettingsToIni(ini);
    EXPECT_EQ(ini.log, (std::vector<std::string>{"text com/Port", "text com/BaudRate", "text com/StopBits",
                                                  "text com/DataBits", "text com/Parity", "text com/FlowControl"}));
    EXPECT_EQ(ini.values, (std::map<std::string, std::string>{{"Port", "COM1"}, {"BaudRate", "9600"},
                                                              {"StopBits", "1"}, {"DataBits", "8"},
                                                              {"Parity", "None"}, {"FlowControl", "None"}}));

    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(250000);
    port.FlowControl().SetFlowControl(fcHardware);
    RecordingRegistry reg;
    port.SaveSettingsToRegistry(reg);
    EXPECT_EQ(reg.log, (std::vector<std::string>{"text Port=COM1", "text BaudRate=Custom", "int CustomBaudRate=250000",
                                                 "text StopBits=1", "text DataBits=8", "text Parity=None",
                                                 "text FlowControl=Hardware"}));
}

TEST(SettingsStorage, AllGroupsGoInOneFixedKeyOrderBothWays) {
    const std::vector<std::string> order{
        "Port", "BaudRate", "CustomBaudRate", "StopBits", "DataBits", "Parity", "FlowControl", "EventChar",
        "DiscardNull", "Parity.Check", "Parity.Replace", "Parity.ReplaceChar", "Buffer.OutputSize",
        "Buffer.InputSize", "Timeouts.ReadInterval", "Timeouts.ReadTotalConstant", "Timeouts.ReadTotalMultiplier",
        "Timeouts.WriteTotalConstant", "Timeouts.WriteTotalMultiplier", "FlowControl.ControlRTS",
        "FlowControl.ControlDTR", "FlowControl.DSRSensitivity", "FlowControl.OutCTSFlow", "FlowControl.OutDSRFlow",
        "FlowControl.TxContinueOnXoff", "FlowControl.XonXoffIn", "FlowControl.XonXoffOut", "FlowControl.XoffChar",
        "FlowControl.XonChar"};
    TComPort port;
    Customize(port);
    port.SetPersistedGroups(kAllGroups);
    RecordingIni ini;
    port.SaveSettingsToIni(ini);
    std::vector<std::string> saved, loaded;
    for (const std::string& entry : ini.log) saved.push_back(entry.substr(entry.find('/') + 1));
    EXPECT_EQ(saved, order);
    EXPECT_EQ(ini.log[2], "int /CustomBaudRate");
    EXPECT_EQ(ini.log[12], "int /Buffer.OutputSize");
    EXPECT_EQ(ini.values["EventChar"], "#32");
    EXPECT_EQ(ini.values["Parity.ReplaceChar"], "#200");
    EXPECT_EQ(ini.values["FlowControl"], "Custom");

    RecordingRegistry reg;
    port.LoadSettingsFromRegistry(reg);  // every text reads empty: BaudRate falls back, so no custom rate
    for (const std::string& entry : reg.log) loaded.push_back(entry.substr(5));
    std::vector<std::string> withoutCustom = order;
    withoutCustom.erase(withoutCustom.begin() + 2);
    EXPECT_EQ(loaded, withoutCustom);
}

TEST(SettingsStorage, NoGroupsTouchNothing) {
    TComPort port;
    port.SetPersistedGroups({});
    RecordingIni ini;
    RecordingRegistry reg;
    port.SaveSettingsToIni(ini);
    port.LoadSettingsFromIni(ini);
    port.SaveSettingsToRegistry(reg);
    port.LoadSettingsFromRegistry(reg);
    EXPECT_TRUE(ini.log.empty());
    EXPECT_TRUE(reg.log.empty());
}

TEST(SettingsStorage, IniSectionWithoutKeysKeepsSettingsButTheCustomRate) {
    TComPort port;
    port.SetName("com");
    Customize(port);
    port.SetPersistedGroups(kAllGroups);
    auto expected = Snapshot(port);
    expected["CustomBaudRate"] = "9600";
    RecordingIni empty;
    port.LoadSettingsFromIni(empty);
    EXPECT_EQ(Snapshot(port), expected);
}

TEST(SettingsStorage, MissingRegistryTextsFallBackAndAMissingIntegerStopsLoading) {
    core::TRegistryStore store;
    core::TRegistry reg(store);
    ASSERT_TRUE(reg.OpenKey("Software\\Port", true));
    TComPort source;
    Customize(source);
    source.SetPersistedGroups(kAllGroups);
    source.SaveSettingsToRegistry(reg);
    ASSERT_TRUE(reg.DeleteValue("Timeouts.ReadInterval"));
    ASSERT_TRUE(reg.DeleteValue("Port"));

    TComPort target;
    const auto defaults = Snapshot(target);
    target.SetPersistedGroups(kAllGroups);
    try {
        target.LoadSettingsFromRegistry(reg);
        FAIL() << "loading went through";
    } catch (const core::ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Failed to get data for 'Timeouts.ReadInterval'");
    }
    auto expected = Snapshot(source);
    expected["Port"] = "";  // missing text: empty
    // The timeouts and the detailed flow control were never reached; the
    // basic FlowControl key ("Custom") left the flags as they were.
    for (const char* key : {"RI", "RTC", "RTM", "WTC", "WTM", "RTS", "DTR", "DSRS", "CTSF", "DSRF", "TxC", "XIn",
                            "XOut", "Xoff", "Xon"})
        expected[key] = defaults.at(key);
    EXPECT_EQ(Snapshot(target), expected);
}

TEST(SettingsStorage, RoundTripThroughTheRealStoresOnFiles) {
    const auto dir = std::filesystem::temp_directory_path() / ("pd_storage_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string iniName = (dir / "port.ini").string(), regName = (dir / "reg.dat").string();
    TComPort source;
    source.SetName("com");
    Customize(source);
    source.SetPersistedGroups(kAllGroups);
    {
        core::TIniFile ini(iniName);
        source.SaveSettingsToIni(ini);
        core::TRegistryStore store(regName);
        core::TRegistry reg(store);
        ASSERT_TRUE(reg.OpenKey("Software\\Pump", true));
        source.SaveSettingsToRegistry(reg);
    }
    TComPort fromIni, fromReg;
    fromIni.SetName("COM");  // sections ignore letter case
    fromIni.SetPersistedGroups(kAllGroups);
    fromReg.SetPersistedGroups(kAllGroups);
    core::TIniFile ini(iniName);
    fromIni.LoadSettingsFromIni(ini);
    core::TRegistryStore store(regName);
    core::TRegistry reg(store);
    ASSERT_TRUE(reg.OpenKey("Software\\Pump", false));
    fromReg.LoadSettingsFromRegistry(reg);
    std::filesystem::remove_all(dir);
    EXPECT_EQ(Snapshot(fromIni), Snapshot(source));
    EXPECT_EQ(Snapshot(fromReg), Snapshot(source));
}

TEST(SettingsStorage, DetailedFlowControlKeysHaveTheLastWord) {
    RecordingIni ini;
    ini.values = {{"FlowControl", "Hardware"}, {"FlowControl.ControlRTS", "Disable"},
                  {"FlowControl.OutCTSFlow", "No"}, {"FlowControl.XonXoffIn", "yes"},
                  {"FlowControl.XonXoffOut", "YES"}};
    TComPort basicOnly;
    basicOnly.LoadSettingsFromIni(ini);
    EXPECT_EQ(basicOnly.FlowControl().FlowControl(), fcHardware);

    TComPort both;
    both.SetPersistedGroups({sgBasic, sgFlowControl});
    both.LoadSettingsFromIni(ini);
    EXPECT_EQ(both.FlowControl().FlowControl(), fcSoftware);
}

// Loading goes through the setters, so an open port follows key by key: the
// new "Port" reopens it on the other device, and the rate read after that
// reaches the new device only; the first is handed back as it was found. (A
// pseudo-terminal keeps its own data bits and parity, so the rate is what can
// be seen.)
TEST(SettingsStorage, LoadingReconfiguresAnOpenPort) {
    int master[2], slave[2];
    char name[2][128];
    for (int i = 0; i < 2; ++i) ASSERT_EQ(::openpty(&master[i], &slave[i], name[i], nullptr, nullptr), 0);
    auto speed = [&](int i) {
        termios tio{};
        EXPECT_EQ(::tcgetattr(slave[i], &tio), 0);
        return ::cfgetospeed(&tio);
    };
    const speed_t found = speed(0);
    TComPort port;
    port.SetPort(name[0]);
    port.SetSyncMethod(smNone);
    port.OpenPort();
    EXPECT_EQ(speed(0), static_cast<speed_t>(B9600));
    RecordingIni ini;
    ini.values = {{"Port", name[1]}, {"BaudRate", "19200"}};
    port.LoadSettingsFromIni(ini);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.Port(), name[1]);
    EXPECT_EQ(speed(1), static_cast<speed_t>(B19200));
    EXPECT_EQ(speed(0), found);
    port.ClosePort();
    for (int i = 0; i < 2; ++i) {
        ::close(slave[i]);
        ::close(master[i]);
    }
}

}  // namespace
