// Saving and loading the port's settings through an ini-file store or an open
// registry key. One table names every key in the order all four operations
// handle them; each key knows its group, its text or integer form, and the
// ordinary getter and setter behind it, so that loading reconfigures an open
// port key by key exactly as a caller setting the properties would.
#include <array>
#include <optional>

#include "core/stores/store_ini.h"
#include "core/stores/store_registry.h"
#include "serial/com_port.h"

namespace serial {

namespace {

using Port = TCustomComPort;

struct SettingKey {
    TComSettingGroup group;
    const char* name;
    // A text key has the first pair, an integer key the second.
    std::string (*getText)(Port&) = nullptr;
    void (*setText)(Port&, const std::string&) = nullptr;
    std::int32_t (*getInt)(Port&) = nullptr;
    void (*setInt)(Port&, std::int32_t) = nullptr;
    // Ini default in place of the current value, when there is one.
    std::optional<std::int32_t> iniDefault = std::nullopt;
    // Whether the key is handled at all for the port as it is at that moment.
    bool (*handled)(Port&) = nullptr;
};

SettingKey Text(TComSettingGroup group, const char* name, std::string (*get)(Port&),
                void (*set)(Port&, const std::string&)) {
    return SettingKey{group, name, get, set};
}

SettingKey Integer(TComSettingGroup group, const char* name, std::int32_t (*get)(Port&),
                   void (*set)(Port&, std::int32_t)) {
    return SettingKey{group, name, nullptr, nullptr, get, set};
}

SettingKey CustomBaudRateKey() {
    SettingKey key = Integer(
        sgBasic, "CustomBaudRate", [](Port& p) { return p.CustomBaudRate(); },
        [](Port& p, std::int32_t v) { p.SetCustomBaudRate(v); });
    key.iniDefault = 9600;
    key.handled = [](Port& p) { return p.BaudRate() == brCustom; };
    return key;
}

const std::array<SettingKey, 29>& Keys() {
    using S = const std::string&;
    static const std::array<SettingKey, 29> keys{
        Text(sgBasic, "Port", [](Port& p) { return p.Port(); }, [](Port& p, S t) { p.SetPort(t); }),
        Text(sgBasic, "BaudRate", [](Port& p) { return BaudRateToText(p.BaudRate()); },
             [](Port& p, S t) { p.SetBaudRate(TextToBaudRate(t)); }),
        CustomBaudRateKey(),
        Text(sgBasic, "StopBits", [](Port& p) { return StopBitsToText(p.StopBits()); },
             [](Port& p, S t) { p.SetStopBits(TextToStopBits(t)); }),
        Text(sgBasic, "DataBits", [](Port& p) { return DataBitsToText(p.DataBits()); },
             [](Port& p, S t) { p.SetDataBits(TextToDataBits(t)); }),
        Text(sgBasic, "Parity", [](Port& p) { return ParityToText(p.Parity().Bits()); },
             [](Port& p, S t) { p.Parity().SetBits(TextToParity(t)); }),
        Text(sgBasic, "FlowControl", [](Port& p) { return FlowControlToText(p.FlowControl().FlowControl()); },
             [](Port& p, S t) { p.FlowControl().SetFlowControl(TextToFlowControl(t)); }),

        Text(sgMisc, "EventChar", [](Port& p) { return CharToText(p.EventChar()); },
             [](Port& p, S t) { p.SetEventChar(TextToChar(t)); }),
        Text(sgMisc, "DiscardNull", [](Port& p) { return BoolToText(p.DiscardNull()); },
             [](Port& p, S t) { p.SetDiscardNull(TextToBool(t)); }),

        Text(sgParity, "Parity.Check", [](Port& p) { return BoolToText(p.Parity().Check()); },
             [](Port& p, S t) { p.Parity().SetCheck(TextToBool(t)); }),
        Text(sgParity, "Parity.Replace", [](Port& p) { return BoolToText(p.Parity().Replace()); },
             [](Port& p, S t) { p.Parity().SetReplace(TextToBool(t)); }),
        Text(sgParity, "Parity.ReplaceChar", [](Port& p) { return CharToText(p.Parity().ReplaceChar()); },
             [](Port& p, S t) { p.Parity().SetReplaceChar(TextToChar(t)); }),

        Integer(sgBuffer, "Buffer.OutputSize", [](Port& p) { return p.Buffer().OutputSize(); },
                [](Port& p, std::int32_t v) { p.Buffer().SetOutputSize(v); }),
        Integer(sgBuffer, "Buffer.InputSize", [](Port& p) { return p.Buffer().InputSize(); },
                [](Port& p, std::int32_t v) { p.Buffer().SetInputSize(v); }),

        Integer(sgTimeouts, "Timeouts.ReadInterval", [](Port& p) { return p.Timeouts().ReadInterval(); },
                [](Port& p, std::int32_t v) { p.Timeouts().SetReadInterval(v); }),
        Integer(sgTimeouts, "Timeouts.ReadTotalConstant", [](Port& p) { return p.Timeouts().ReadTotalConstant(); },
                [](Port& p, std::int32_t v) { p.Timeouts().SetReadTotalConstant(v); }),
        Integer(sgTimeouts, "Timeouts.ReadTotalMultiplier", [](Port& p) { return p.Timeouts().ReadTotalMultiplier(); },
                [](Port& p, std::int32_t v) { p.Timeouts().SetReadTotalMultiplier(v); }),
        Integer(sgTimeouts, "Timeouts.WriteTotalConstant", [](Port& p) { return p.Timeouts().WriteTotalConstant(); },
                [](Port& p, std::int32_t v) { p.Timeouts().SetWriteTotalConstant(v); }),
        Integer(sgTimeouts, "Timeouts.WriteTotalMultiplier",
                [](Port& p) { return p.Timeouts().WriteTotalMultiplier(); },
                [](Port& p, std::int32_t v) { p.Timeouts().SetWriteTotalMultiplier(v); }),

        Text(sgFlowControl, "FlowControl.ControlRTS", [](Port& p) { return RTSControlToText(p.FlowControl().ControlRTS()); },
             [](Port& p, S t) { p.FlowControl().SetControlRTS(TextToRTSControl(t)); }),
        Text(sgFlowControl, "FlowControl.ControlDTR", [](Port& p) { return DTRControlToText(p.FlowControl().ControlDTR()); },
             [](Port& p, S t) { p.FlowControl().SetControlDTR(TextToDTRControl(t)); }),
        Text(sgFlowControl, "FlowControl.DSRSensitivity", [](Port& p) { return BoolToText(p.FlowControl().DSRSensitivity()); },
             [](Port& p, S t) { p.FlowControl().SetDSRSensitivity(TextToBool(t)); }),
        Text(sgFlowControl, "FlowControl.OutCTSFlow", [](Port& p) { return BoolToText(p.FlowControl().OutCTSFlow()); },
             [](Port& p, S t) { p.FlowControl().SetOutCTSFlow(TextToBool(t)); }),
        Text(sgFlowControl, "FlowControl.OutDSRFlow", [](Port& p) { return BoolToText(p.FlowControl().OutDSRFlow()); },
             [](Port& p, S t) { p.FlowControl().SetOutDSRFlow(TextToBool(t)); }),
        Text(sgFlowControl, "FlowControl.TxContinueOnXoff",
             [](Port& p) { return BoolToText(p.FlowControl().TxContinueOnXoff()); },
             [](Port& p, S t) { p.FlowControl().SetTxContinueOnXoff(TextToBool(t)); }),
        Text(sgFlowControl, "FlowControl.XonXoffIn", [](Port& p) { return BoolToText(p.FlowControl().XonXoffIn()); },
             [](Port& p, S t) { p.FlowControl().SetXonXoffIn(TextToBool(t)); }),
        Text(sgFlowControl, "FlowControl.XonXoffOut", [](Port& p) { return BoolToText(p.FlowControl().XonXoffOut()); },
             [](Port& p, S t) { p.FlowControl().SetXonXoffOut(TextToBool(t)); }),
        Text(sgFlowControl, "FlowControl.XoffChar", [](Port& p) { return CharToText(p.FlowControl().XoffChar()); },
             [](Port& p, S t) { p.FlowControl().SetXoffChar(TextToChar(t)); }),
        Text(sgFlowControl, "FlowControl.XonChar", [](Port& p) { return CharToText(p.FlowControl().XonChar()); },
             [](Port& p, S t) { p.FlowControl().SetXonChar(TextToChar(t)); }),
    };
    return keys;
}

// Visits the keys of the selected groups in table order; `handled` is asked
// at the moment the key comes up, so a rate loaded just before counts.
template <typename Visit>
void ForEachKey(Port& port, Visit visit) {
    const TComSettingGroups groups = port.PersistedGroups();
    for (const SettingKey& key : Keys()) {
        if (groups.Contains(key.group) && (!key.handled || key.handled(port))) visit(key);
    }
}

}  // namespace

void TCustomComPort::SaveSettingsToRegistry(core::TRegistryKeyAccess& registry) {
    ForEachKey(*this, [&](const SettingKey& key) {
        if (key.getInt) registry.WriteInteger(key.name, key.getInt(*this));
        else registry.WriteString(key.name, key.getText(*this));
    });
}

void TCustomComPort::SaveSettingsToIni(core::TCustomIniFile& store) {
    const std::string section = Name();
    ForEachKey(*this, [&](const SettingKey& key) {
        if (key.getInt) store.WriteInteger(section, key.name, key.getInt(*this));
        else store.WriteString(section, key.name, key.getText(*this));
    });
}

void TCustomComPort::LoadSettingsFromRegistry(core::TRegistryKeyAccess& registry) {
    ForEachKey(*this, [&](const SettingKey& key) {
        if (key.setInt) key.setInt(*this, registry.ReadInteger(key.name));
        else key.setText(*this, registry.ReadString(key.name));
    });
}

void TCustomComPort::LoadSettingsFromIni(core::TCustomIniFile& store) {
    const std::string section = Name();
    ForEachKey(*this, [&](const SettingKey& key) {
        if (key.setInt)
            key.setInt(*this, store.ReadInteger(section, key.name, key.iniDefault.value_or(key.getInt(*this))));
        else
            key.setText(*this, store.ReadString(section, key.name, key.getText(*this)));
    });
}

}  // namespace serial
