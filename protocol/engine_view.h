// What the engine does to the main window. The receive side runs on the
// port's monitoring thread, so a view must hand every effect to the GUI thread
// and apply it there in the order issued; the engine never waits for an effect
// and never reads a control back.
#pragma once

#include <cstdint>
#include <string>

namespace protocol {

enum class IdentField { OrName, Id, SerialNumber, BoschNumber };  // Or_name, Id, S_n, Id_b
enum class Control { Button3, Button4, Button1 };
enum class Timer { Timer1, Timer2 };

class EngineView {
public:
    virtual ~EngineView() = default;
    // Field texts are UTF-8 (decoded from the pump's Windows-1251 bytes).
    virtual void SetFieldText(IdentField field, const std::string& text) = 0;
    virtual void SetMemo2Text(const std::string& text) = 0;
    virtual void SetControlEnabled(Control control, bool enabled) = 0;
    // code is 0x50 .. 0x5E.
    virtual void SetFaultButtonVisible(int code, bool visible) = 0;
    virtual void SetFaultButtonHint(int code, const std::string& hint) = 0;
    virtual void SetStatusVisible(bool visible) = 0;
    virtual void SetTimerEnabled(Timer timer, bool enabled) = 0;
};

}  // namespace protocol
