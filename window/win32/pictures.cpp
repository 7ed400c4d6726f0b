#include "window/win32/pictures.h"

namespace window::win32 {

namespace {
constexpr COLORREF kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0);

// A white 24-bit picture with a memory DC to draw it on.
struct Canvas {
    Canvas(int width, int height) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bitmap);
        RECT all{0, 0, width, height};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    // Hands the picture over; the canvas is done.
    HBITMAP Take() {
        SelectObject(dc, old);
        DeleteDC(dc);
        return bitmap;
    }
    void Fill(int left, int top, int right, int bottom, COLORREF colour) {
        HBRUSH brush = CreateSolidBrush(colour);
        RECT area{left, top, right, bottom};
        FillRect(dc, &area, brush);
        DeleteObject(brush);
    }
    // A shape filled with `fill` and outlined in black.
    void Shape(const POINT* points, int count, COLORREF fill) {
        HBRUSH brush = CreateSolidBrush(fill);
        HGDIOBJ oldBrush = SelectObject(dc, brush), oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
        Polygon(dc, points, count);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(brush);
    }
    void Box(int left, int top, int right, int bottom, COLORREF fill) {
        const POINT corners[] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
        Shape(corners, 4, fill);
    }
    void Text(const wchar_t* text, int top, COLORREF colour) {
        HFONT font = CreateFontW(-22, 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, FF_SWISS, L"Arial");
        HGDIOBJ oldFont = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, colour);
        RECT line{2, top, 125, top + 26};
        DrawTextW(dc, text, -1, &line, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, oldFont);
        DeleteObject(font);
    }

    HBITMAP bitmap;
    HDC dc;
    HGDIOBJ old;
};

HBITMAP Eraser(bool greyed) {
    Canvas c(16, 16);
    const COLORREF body = greyed ? RGB(160, 160, 160) : RGB(0, 160, 0);
    const COLORREF top = greyed ? RGB(128, 128, 128) : RGB(0, 0, 255);
    const POINT front[] = {{1, 9}, {9, 9}, {14, 4}, {14, 8}, {9, 13}, {1, 13}};
    c.Shape(front, 6, body);
    const POINT face[] = {{1, 9}, {6, 4}, {14, 4}, {9, 9}};
    c.Shape(face, 4, kWhite);
    // The top face chequered inside its outline.
    HRGN clip = CreatePolygonRgn(face, 4, ALTERNATE);
    SelectClipRgn(c.dc, clip);
    for (int y = 4; y < 10; y += 2)
        for (int x = 0; x < 16; x += 2)
            if (((x + y) / 2) % 2 == 0) c.Fill(x, y, x + 2, y + 2, top);
    SelectClipRgn(c.dc, nullptr);
    DeleteObject(clip);
    HGDIOBJ oldPen = SelectObject(c.dc, GetStockObject(BLACK_PEN));
    MoveToEx(c.dc, 9, 9, nullptr);
    LineTo(c.dc, 9, 13);
    SelectObject(c.dc, oldPen);
    SetPixel(c.dc, 0, 15, kWhite);
    return c.Take();
}
}  // namespace

HIMAGELIST EraserImages() {
    static HIMAGELIST list = [] {
        HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 6, 0);
        HBITMAP normal = Eraser(false), greyed = Eraser(true);
        // One picture a button state: normal, hot, pressed, disabled, default, focused.
        for (int state = 1; state <= 6; ++state) ImageList_AddMasked(images, state == 4 ? greyed : normal, kWhite);
        DeleteObject(normal);
        DeleteObject(greyed);
        return images;
    }();
    return list;
}

HBITMAP LogoBitmap() {
    Canvas c(127, 127);
    c.Text(L"Pump", 2, RGB(200, 0, 0));
    c.Text(L"Tools", 26, kBlack);
    // Desktop computer: monitor on a stand, keyboard in front.
    c.Box(10, 60, 62, 98, RGB(225, 225, 225));
    c.Box(15, 65, 57, 93, RGB(70, 110, 190));
    c.Box(30, 98, 42, 104, RGB(225, 225, 225));
    c.Box(6, 106, 66, 116, RGB(225, 225, 225));
    for (int x = 10; x < 64; x += 6) c.Fill(x, 109, x + 3, 110, RGB(128, 128, 128));
    for (int x = 12; x < 62; x += 6) c.Fill(x, 113, x + 3, 114, RGB(128, 128, 128));
    // Handheld device with a small screen, keys and a cable.
    c.Box(82, 58, 114, 116, RGB(250, 200, 40));
    c.Box(87, 64, 109, 82, RGB(170, 210, 170));
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) c.Box(88 + col * 7, 88 + row * 8, 93 + col * 7, 93 + row * 8, RGB(60, 60, 60));
    const POINT cable[] = {{98, 58}, {98, 45}, {75, 52}, {66, 70}};
    HGDIOBJ oldPen = SelectObject(c.dc, GetStockObject(BLACK_PEN));
    PolyBezier(c.dc, cable, 4);
    SelectObject(c.dc, oldPen);
    return c.Take();
}

}  // namespace window::win32
