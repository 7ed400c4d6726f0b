// The Windows face in the program's own process under Wine: both windows laid
// out again for a new DPI (places, sizes, fonts, size limits, the suggested
// rectangle, pictures), the captions' accelerators, the greyed eraser and the
// report settings dialog.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/win32/about.h"
#include "core/text/win32_text.h"
#include "find_control.h"
#include "report/report_settings.h"
#include "window/win32/control_ids.h"
#include "window/win32/controls.h"
#include "window/win32/form1.h"
#include "window/win32/layout.h"
#include "window/win32/pictures.h"

namespace {

using namespace window::win32;

// A control's place in its parent's client area.
RECT PlaceOf(HWND control) {
    RECT place{};
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

int FontHeight(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
}

HWND Find(HWND top, int id) { return FindControl(top, id); }

void SendDpi(HWND window, int dpi, RECT suggested) {
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

struct ControlRow {
    int id;
    Place place;  // at 96 dpi
    int fontPixels;
};

// Controls of fixed size (the labels grow with their text, below).
constexpr ControlRow kFormControls[] = {
    {kButton3, {332, 24, 257, 33}, 13}, {kButton4, {332, 64, 257, 33}, 11}, {kButton1, {12, 128, 313, 49}, 16},
    {kGroupBox2, {12, 16, 313, 97}, 13}, {kStatus, {24, 40, 265, 20}, 13},  {kIdB, {8, 24, 113, 17}, 11},
    {kMemo2, {12, 224, 577, 177}, 11},   {kMemo2Measure, {12, 224, 577, 177}, 11},
    {kFirstFaultButton + 0x0e, {240, 56, 25, 25}, 13},
};

void ExpectPlaces(HWND top, const ControlRow* rows, std::size_t count, int dpi) {
    for (std::size_t i = 0; i < count; ++i) {
        const ControlRow& row = rows[i];
        SCOPED_TRACE(testing::Message() << "control " << row.id << " at " << dpi << " dpi");
        HWND control = Find(top, row.id);
        ASSERT_TRUE(control);
        const RECT place = PlaceOf(control);
        EXPECT_EQ(place.left, Scaled(row.place.left, dpi));
        EXPECT_EQ(place.top, Scaled(row.place.top, dpi));
        EXPECT_EQ(place.right - place.left, Scaled(row.place.width, dpi));
        EXPECT_EQ(place.bottom - place.top, Scaled(row.place.height, dpi));
        EXPECT_EQ(FontHeight(control), -Scaled(row.fontPixels, dpi));
    }
}

int LabelWidth(HWND top, int id) {
    const RECT place = PlaceOf(Find(top, id));
    return place.right - place.left;
}

TEST(FaceDpi, MainWindowIsLaidOutAgainForTheNewDpiAndBack) {
    TForm1 form;
    HWND window = form.Handle();
    const int startDpi = WindowDpi(window);
    const int labelAtStart = LabelWidth(window, kLabel1);
    for (const int dpi : {144, 120, startDpi}) {
        const RECT suggested{40, 30, 40 + Scaled(TForm1::kWidth, dpi), 30 + Scaled(TForm1::kHeight, dpi)};
        SendDpi(window, dpi, suggested);
        ExpectPlaces(window, kFormControls, std::size(kFormControls), dpi);
        RECT outer{};
        GetWindowRect(window, &outer);
        EXPECT_EQ(outer.left, suggested.left);
        EXPECT_EQ(outer.bottom - outer.top, suggested.bottom - suggested.top);
        MINMAXINFO limits{};
        SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
        EXPECT_EQ(limits.ptMinTrackSize.x, Scaled(TForm1::kMinWidth, dpi));
        EXPECT_EQ(limits.ptMaxTrackSize.y, Scaled(TForm1::kMaxHeight, dpi));
        // A label fits its text in the new font: it grows with the scale.
        EXPECT_NEAR(LabelWidth(window, kLabel1), labelAtStart * dpi / startDpi, labelAtStart * dpi / startDpi / 10) << dpi;
        const RECT label5 = PlaceOf(Find(window, kLabel5));
        EXPECT_EQ(label5.top, Scaled(187, dpi));
        BUTTON_IMAGELIST picture{};
        SendMessageW(Find(window, kButton1), BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&picture));
        int width = 0, height = 0;
        ImageList_GetIconSize(picture.himl, &width, &height);
        EXPECT_EQ(width, Scaled(16, dpi));
    }
}

TEST(FaceDpi, AboutIsLaidOutAgainForTheNewDpi) {
    HWND about = app::win32::CreateAbout();
    const ControlRow rows[] = {{kAboutClose, {8, 184, 185, 33}, 11}};
    const RECT suggested{200, 100, 200 + 320, 100 + 380};
    for (const int dpi : {144, 96}) {
        SendDpi(about, dpi, suggested);
        ExpectPlaces(about, rows, std::size(rows), dpi);
        RECT outer{};
        GetWindowRect(about, &outer);
        EXPECT_EQ(outer.right - outer.left, suggested.right - suggested.left);
        HWND image = Find(about, 2);
        ASSERT_TRUE(image);
        BITMAP logo{};
        GetObjectW(reinterpret_cast<HBITMAP>(SendMessageW(image, STM_GETIMAGE, IMAGE_BITMAP, 0)), sizeof logo, &logo);
        EXPECT_EQ(logo.bmWidth, Scaled(127, dpi));
        EXPECT_EQ(PlaceOf(image).left, Scaled(40, dpi));
    }
    DestroyWindow(about);
}

// The pixels of one picture of an image list that it draws (its mask lets
// through), drawn over magenta.
std::vector<COLORREF> VisiblePixels(HIMAGELIST list, int index) {
    int width = 0, height = 0;
    ImageList_GetIconSize(list, &width, &height);
    constexpr COLORREF kGround = RGB(255, 0, 255);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, canvas);
    HBRUSH ground = CreateSolidBrush(kGround);
    const RECT all{0, 0, width, height};
    FillRect(dc, &all, ground);
    ImageList_Draw(list, index, dc, 0, 0, ILD_NORMAL);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (const COLORREF p = GetPixel(dc, x, y); p != kGround) pixels.push_back(p);
    SelectObject(dc, old);
    DeleteObject(ground);
    DeleteObject(canvas);
    DeleteDC(dc);
    return pixels;
}

TEST(FacePictures, TheDisabledEraserIsAllLightGreyOutlineIncluded) {
    for (const int dpi : {96, 144}) {
        SCOPED_TRACE(dpi);
        HIMAGELIST list = EraserImages(dpi);
        const int width = Scaled(16, dpi);
        const std::vector<COLORREF> normal = VisiblePixels(list, 0), greyed = VisiblePixels(list, 3);
        ASSERT_GT(greyed.size(), static_cast<std::size_t>(width * width / 4));
        EXPECT_EQ(greyed.size(), normal.size());
        bool normalHasBlack = false;
        for (COLORREF p : normal) normalHasBlack = normalHasBlack || p == RGB(0, 0, 0);
        EXPECT_TRUE(normalHasBlack);
        for (COLORREF p : greyed) {
            EXPECT_TRUE(GetRValue(p) == GetGValue(p) && GetGValue(p) == GetBValue(p)) << std::hex << p;
            EXPECT_GE(GetRValue(p), 128) << std::hex << p;
        }
    }
}

TEST(FaceCaptions, LabelsAndStatusMarkTheirAccelerator) {
    TForm1 form;
    for (const int id : {kLabel1, kLabel2, kLabel3, kLabel4, kLabel5, kStatus}) {
        HWND label = Find(form.Handle(), id);
        EXPECT_EQ(GetWindowLongPtrW(label, GWL_STYLE) & SS_NOPREFIX, 0) << id;
    }
    // The marking ampersand takes no room: "&Id" is as wide as "Id", "&&" as one "&".
    HWND label = Find(form.Handle(), kLabel3);
    auto width = [&](const char* text) {
        SetLabelText(label, text);
        return LabelWidth(form.Handle(), kLabel3);
    };
    EXPECT_EQ(width("&Id"), width("Id"));
    EXPECT_GT(width("A&&B"), width("AB"));
}

// What the test types into the report settings dialog, and what it found there.
struct DialogAnswer {
    std::wstring workshop, technician;
    bool ok;
    std::wstring title, shownWorkshop, shownTechnician;
};
DialogAnswer* answer = nullptr;

BOOL CALLBACK FindShownDialog(HWND window, LPARAM found) {
    wchar_t type[16] = {};
    GetClassNameW(window, type, 16);
    if (std::wstring(type) != L"#32770" || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

std::wstring ItemText(HWND dialog, int id) {
    wchar_t text[512] = {};
    GetDlgItemTextW(dialog, id, text, 512);
    return text;
}

// Runs in the dialog's own message loop: fills the fields, then OK or Cancel.
void CALLBACK AnswerDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindShownDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog) return;
    KillTimer(nullptr, timer);
    wchar_t title[128] = {};
    GetWindowTextW(dialog, title, 128);
    answer->title = title;
    answer->shownWorkshop = ItemText(dialog, kFirstDialogField);
    answer->shownTechnician = ItemText(dialog, kFirstDialogField + 1);
    SetDlgItemTextW(dialog, kFirstDialogField, answer->workshop.c_str());
    SetDlgItemTextW(dialog, kFirstDialogField + 1, answer->technician.c_str());
    PostMessageW(dialog, WM_COMMAND, answer->ok ? IDOK : IDCANCEL, 0);
}

TEST(FaceReportSettings, TheDialogShowsTheStoredNamesAndStoresWhatIsConfirmed) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring local = std::wstring(temp) + L"pd_face_settings";
    CreateDirectoryW(local.c_str(), nullptr);
    DeleteFileW((local + L"\\pumpdiag\\report.ini").c_str());
    wchar_t saved[MAX_PATH] = {};
    const DWORD savedLength = GetEnvironmentVariableW(L"LOCALAPPDATA", saved, MAX_PATH);
    SetEnvironmentVariableW(L"LOCALAPPDATA", local.c_str());
    TForm1 form;
    struct Row {
        const wchar_t* workshop;
        const wchar_t* technician;
        bool ok;
        report::ReportSettings stored;
    } rows[] = {
        {L"Дизель-сервис", L"Иванов И. И.", true, {"Дизель-сервис", "Иванов И. И."}},
        {L"Другая", L"Петров", false, {"Дизель-сервис", "Иванов И. И."}},
        {L"", L"Петров", true, {"", "Петров"}},
    };
    report::ReportSettings before;
    for (const Row& row : rows) {
        SCOPED_TRACE(core::NarrowText(row.workshop));
        DialogAnswer typed{row.workshop, row.technician, row.ok, {}, {}, {}};
        answer = &typed;
        SetTimer(nullptr, 0, 50, &AnswerDialog);
        // The menu item, as the window dispatches it.
        SendMessageW(form.Handle(), WM_COMMAND, MAKEWPARAM(kReportSettings1, 0), 0);
        EXPECT_EQ(typed.title, L"Report settings");
        EXPECT_EQ(core::NarrowText(typed.shownWorkshop), before.workshop);
        EXPECT_EQ(core::NarrowText(typed.shownTechnician), before.technician);
        EXPECT_EQ(report::ReadReportSettings(), row.stored);
        before = row.stored;
    }
    answer = nullptr;
    SetEnvironmentVariableW(L"LOCALAPPDATA", savedLength ? saved : nullptr);
}

}  // namespace
