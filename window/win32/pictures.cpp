#include "window/win32/pictures.h"

#include <map>

namespace window::win32 {

namespace {
constexpr COLORREF kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0);

// A white 24-bit picture with a memory DC to draw it on, drawn in units of
// its size at 96 dpi and scaled to `dpi`.
struct Canvas {
    Canvas(int width, int height, int dpi)
        : pixelWidth(MulDiv(width, dpi, 96)), pixelHeight(MulDiv(height, dpi, 96)) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), pixelWidth, -pixelHeight, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bitmap);
        RECT all{0, 0, pixelWidth, pixelHeight};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetGraphicsMode(dc, GM_ADVANCED);
        const float scale = static_cast<float>(dpi) / 96.0f;
        const XFORM units{scale, 0, 0, scale, 0, 0};
        SetWorldTransform(dc, &units);
        outline = CreatePen(PS_SOLID, 1, kBlack);
    }
    ~Canvas() { DeleteObject(outline); }
    // Hands the picture over; the canvas is done.
    HBITMAP Take() {
        GdiFlush();
        SelectObject(dc, old);
        DeleteDC(dc);
        return bitmap;
    }
    // Every colour but the white ground to a light grey of its brightness:
    // black outlines become mid grey, nothing stays dark or coloured.
    void Grey() {
        GdiFlush();
        const int stride = (pixelWidth * 3 + 3) & ~3;  // rows of 24-bit pixels end on 4 bytes
        for (int y = 0; y < pixelHeight; ++y)
            for (BYTE *p = bits + y * stride, *end = p + pixelWidth * 3; p < end; p += 3) {
                if (p[0] == 255 && p[1] == 255 && p[2] == 255) continue;
                const int brightness = (p[2] * 30 + p[1] * 59 + p[0] * 11) / 100;  // blue, green, red
                p[0] = p[1] = p[2] = static_cast<BYTE>(128 + brightness * 127 / 255);
            }
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
        HGDIOBJ oldBrush = SelectObject(dc, brush), oldPen = SelectObject(dc, outline);
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

    int pixelWidth, pixelHeight;
    BYTE* bits = nullptr;
    HBITMAP bitmap;
    HDC dc;
    HGDIOBJ old;
    HPEN outline;
};

HBITMAP Eraser(bool greyed, int dpi) {
    Canvas c(16, 16, dpi);
    const POINT front[] = {{1, 9}, {9, 9}, {14, 4}, {14, 8}, {9, 13}, {1, 13}};
    c.Shape(front, 6, RGB(0, 160, 0));
    const POINT face[] = {{1, 9}, {6, 4}, {14, 4}, {9, 9}};
    c.Shape(face, 4, kWhite);
    // The top face chequered inside its outline (a path, so that it scales with the picture).
    BeginPath(c.dc);
    Polygon(c.dc, face, 4);
    EndPath(c.dc);
    SelectClipPath(c.dc, RGN_COPY);
    for (int y = 4; y < 10; y += 2)
        for (int x = 0; x < 16; x += 2)
            if (((x + y) / 2) % 2 == 0) c.Fill(x, y, x + 2, y + 2, RGB(0, 0, 255));
    SelectClipRgn(c.dc, nullptr);
    c.Shape(face, 4, kWhite);  // the outline again over the chequer's edge
    HGDIOBJ oldPen = SelectObject(c.dc, c.outline);
    MoveToEx(c.dc, 9, 9, nullptr);
    LineTo(c.dc, 9, 13);
    SelectObject(c.dc, oldPen);
    if (greyed) c.Grey();
    return c.Take();
}
}  // namespace

HIMAGELIST EraserImages(int dpi) {
    static std::map<int, HIMAGELIST> lists;
    HIMAGELIST& list = lists[dpi];
    if (list) return list;
    const int size = MulDiv(16, dpi, 96);
    list = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 6, 0);
    HBITMAP normal = Eraser(false, dpi), greyed = Eraser(true, dpi);
    // One picture a button state: normal, hot, pressed, disabled, default, focused.
    for (int state = 1; state <= 6; ++state) ImageList_AddMasked(list, state == 4 ? greyed : normal, kWhite);
    DeleteObject(normal);
    DeleteObject(greyed);
    return list;
}

HBITMAP LogoBitmap(int dpi) {
    Canvas c(127, 127, dpi);
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
    HGDIOBJ oldPen = SelectObject(c.dc, c.outline);
    PolyBezier(c.dc, cable, 4);
    SelectObject(c.dc, oldPen);
    return c.Take();
}

}  // namespace window::win32
