// The main window's Windows face, on user32, gdi32 and comctl32: the controls
// of TForm1 at their places, the menu, the tooltips of the fault buttons and
// the two timers, drawn from the form's logic (window/form_logic.h), which
// owns the handlers. Clicks become calls of the logic's handlers.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "protocol/pump_protocol.h"
#include "window/form_face.h"
#include "window/form_logic.h"
#include "window/port_component.h"
#include "window/win32/layout.h"

namespace window::win32 {

class TForm1 : private FormFace {
public:
    // Builds the window with every control and its stored properties, not
    // shown; the creation handler FormCreate is run separately by the start-up.
    explicit TForm1(std::unique_ptr<PortComponent> port = MakeComPort());
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    HWND Handle() const { return window_; }
    FormLogic& logic() { return logic_; }
    void FormCreate() { logic_.FormCreate(); }
    // Shows and activates the window, centred on the desktop the first time.
    void Show();

    static constexpr int kWidth = 610, kHeight = 464;
    static constexpr int kMinWidth = 610, kMaxWidth = 710, kMinHeight = 400, kMaxHeight = 650;
    static constexpr FontSpec kWindowFont{11, false};
    static constexpr int kTipWidth = 400;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Command(int id);
    void BuildMenu();
    void BuildControls();
    void BuildFaultButtons();
    void ListFoundPorts();
    void About2Click();
    void GroupBox2Click();
    void DrawEraser();
    void DpiChanged(int dpi, const RECT& suggested);

    // --- the face (form1_face.cpp) ---
    void Post(std::function<void()> effect) override;
    void Draw(FormPart part, int index) override;
    std::vector<std::string> Memo2Lines(const std::string& line) override;
    std::string Memo2Text() const override;
    void FocusMemo2() override;
    void ShowBox(const BoxRecord& box) override;
    bool EditFields(FieldsDialog& dialog) override;
    void OpenInSystem(const std::string& path, std::function<void(bool opened)> answered) override;
    void DrawCaptions();
    void DrawPortItems();
    void DrawTimer(protocol::Timer timer);
    void DrawMemo2();

    HWND window_ = nullptr;
    Layout layout_{SystemDpi()};  // the window's own DPI once it exists
    HMENU MainMenu1 = nullptr, N2 = nullptr, Help1 = nullptr, Report1 = nullptr;
    HWND Button3 = nullptr, Button4 = nullptr, GroupBox1 = nullptr, GroupBox2 = nullptr, button1 = nullptr;
    HWND Label5 = nullptr, memo = nullptr, Memo2 = nullptr, memo2Measure = nullptr;
    HWND Label1 = nullptr, Label2 = nullptr, Label3 = nullptr, Label4 = nullptr;
    HWND Id_b = nullptr, S_n = nullptr, Id = nullptr, Or_name = nullptr, status = nullptr;
    std::array<HWND, 15> faultButtons{};
    HWND tooltips_ = nullptr;
    std::vector<std::string> foundPorts_;  // names of the port menu's found items
    std::array<bool, 2> timerRunning_{};
    bool shownOnce_ = false;

    std::unique_ptr<PortComponent> com_;
    FormLogic logic_;
    protocol::PumpProtocol engine_;
};

// The program's two windows, one each for the whole run.
extern TForm1* Form1;
extern HWND About;

}  // namespace window::win32
