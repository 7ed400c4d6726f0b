// What the main window shows, free of any toolkit: the captions, the port
// menu's check mark, the two text areas, and everything the engine's effects
// set. The form's logic writes it on the GUI thread; a face draws it. Texts
// are UTF-8.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <set>
#include <string>

#include "protocol/engine_view.h"

namespace window {

// The targets of the caption file's lines.
enum class Caption { Exit1, N2, Help1, About1, GroupBox2, Button3, Button4, button1, status, Title, Label5,
                     Label2, Label3, Label1, Label4 };
constexpr std::size_t kCaptionCount = 15;

struct CaptionSlot {
    Caption target;
    int line;            // line of caption.txt that replaces it
    const char* stored;  // the text the window is built with
};
// In the order the lines are assigned.
constexpr CaptionSlot kCaptionSlots[kCaptionCount] = {
    {Caption::Exit1, 0, "Выход"},
    {Caption::N2, 1, "Настройки"},
    {Caption::Help1, 2, "Помощь"},
    {Caption::About1, 3, "Подключение"},
    {Caption::GroupBox2, 6, " Ошибки "},
    {Caption::Button3, 7, "Начать коммуникацию"},
    {Caption::Button4, 8, "Проверить ошибки"},
    {Caption::button1, 9, "Стереть ошибки     "},
    {Caption::status, 10, "Ошибок не обнаружено"},
    {Caption::Title, 11, "Диагностика VR - VP насосов"},
    {Caption::Label5, 11, "Диагностика VP и VR насосов"},
    {Caption::Label2, 12, "Номер по Бош"},
    {Caption::Label3, 13, "Id номер"},
    {Caption::Label1, 14, "Оригинальный номер"},
    {Caption::Label4, 15, "Серийный номер"},
};
constexpr int kCaptionLines = 16;
constexpr int kConnectionHelpTextLine = 4, kConnectionHelpCaptionLine = 5;

// The four port menu items and the names they stand for.
constexpr const char* kPortItemNames[4] = {"Com1", "Com2", "Com3", "Com4"};

constexpr int kFirstFaultCode = 0x50, kLastFaultCode = 0x5E;

// The fault buttons' places in GroupBox2 and their tab order among its
// children. Two rows: 0x50..0x57 at 32-pixel steps from 32, 0x58..0x5E half a
// step to the right.
struct FaultButtonPlace {
    int code;
    int left, top;
    int tabOrder;
};
constexpr FaultButtonPlace kFaultButtonPlaces[15] = {
    {0x50, 32, 24, 1},  {0x51, 64, 24, 2},   {0x52, 96, 24, 4},   {0x53, 128, 24, 3}, {0x54, 160, 24, 12},
    {0x55, 192, 24, 10}, {0x56, 224, 24, 11}, {0x57, 256, 24, 7},  {0x58, 48, 56, 8},  {0x59, 80, 56, 6},
    {0x5A, 112, 56, 5}, {0x5B, 144, 56, 9},  {0x5C, 176, 56, 13}, {0x5D, 208, 56, 14}, {0x5E, 240, 56, 15},
};

struct FormState {
    FormState() {
        for (const CaptionSlot& slot : kCaptionSlots) captions[static_cast<std::size_t>(slot.target)] = slot.stored;
    }
    const std::string& CaptionOf(Caption target) const { return captions[static_cast<std::size_t>(target)]; }

    std::array<std::string, kCaptionCount> captions;
    std::string connectionHelpText;
    std::string connectionHelpCaption;

    std::string port;         // the port component's name
    std::string checkedPort;  // name of the port menu item with the check mark; empty: none
    // The store of port.ini. The hidden control `memo` it stands for is never
    // shown, so no face draws it: laying out a long file there would only cost time.
    std::string memo = "memo";
    std::string memo2;          // the help-text area, as the program last set it

    bool button4Visible = false;
    std::map<protocol::IdentField, std::string> fields;
    std::set<int> visibleFaults;  // fault codes whose button is shown
    std::map<int, std::string> hints;
    bool statusVisible = true;    // "no faults found"
    std::map<protocol::Control, bool> enabled{{protocol::Control::Button3, true},
                                              {protocol::Control::Button4, false},
                                              {protocol::Control::Button1, false}};
    std::map<protocol::Timer, bool> timers{{protocol::Timer::Timer1, false}, {protocol::Timer::Timer2, false}};
    int timer2Ticks = 0;  // runs of the fault display so far
    std::string lastReport;  // the report file made last; empty: none
};

// Both timers run on the GUI thread at these periods.
constexpr int TimerIntervalMs(protocol::Timer timer) { return timer == protocol::Timer::Timer1 ? 1000 : 50; }

}  // namespace window
