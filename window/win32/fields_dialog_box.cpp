#include "window/win32/fields_dialog_box.h"

#include <vector>

#include "window/win32/control_ids.h"
#include "window/win32/controls.h"

namespace window::win32 {

namespace {

// Dialog units: a field's label and edit, one under the other.
constexpr short kMargin = 7, kWidth = 250, kFieldRows = 30, kButtonWidth = 55, kButtonHeight = 14;
constexpr WORD kStaticClass = 0x0082, kEditClass = 0x0081, kButtonClass = 0x0080;

// A dialog template as DialogBoxIndirectParamW reads it: words, items on
// double-word bounds; the texts are set once the dialog exists.
class DialogTemplate {
public:
    DialogTemplate(short width, short height, WORD items) {
        Dword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
        Dword(0);
        words_.push_back(items);
        for (short n : {short{0}, short{0}, width, height}) words_.push_back(static_cast<WORD>(n));
        words_.insert(words_.end(), {0, 0, 0});  // no menu, the standard class, no title yet
        words_.push_back(8);
        for (const wchar_t* c = L"MS Shell Dlg"; *c; ++c) words_.push_back(*c);
        words_.push_back(0);
    }
    void Item(WORD type, DWORD style, int id, short x, short y, short cx, short cy) {
        if (words_.size() % 2) words_.push_back(0);
        Dword(WS_CHILD | WS_VISIBLE | style);
        Dword(0);
        for (short n : {x, y, cx, cy}) words_.push_back(static_cast<WORD>(n));
        words_.push_back(static_cast<WORD>(id));
        words_.insert(words_.end(), {0xFFFF, type, 0, 0});  // the class, no text, no creation data
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Dword(DWORD value) { words_.insert(words_.end(), {LOWORD(value), HIWORD(value)}); }
    std::vector<WORD> words_;
};

INT_PTR CALLBACK DialogProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* dialog = reinterpret_cast<FieldsDialog*>(GetWindowLongPtrW(box, DWLP_USER));
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<FieldsDialog*>(lParam);
        SetWindowLongPtrW(box, DWLP_USER, lParam);
        SetText(box, dialog->title);
        for (std::size_t n = 0; n < dialog->fields.size(); ++n) {
            const DialogField& field = dialog->fields[n];
            SetText(GetDlgItem(box, kFirstDialogLabel + static_cast<int>(n)), field.label);
            HWND edit = GetDlgItem(box, kFirstDialogField + static_cast<int>(n));
            SetText(edit, field.value);
            if (field.mostChars > 0) SendMessageW(edit, EM_LIMITTEXT, field.mostChars, 0);
        }
        SetText(GetDlgItem(box, IDOK), dialog->ok);
        SetText(GetDlgItem(box, IDCANCEL), dialog->cancel);
        return TRUE;
    }
    if (message != WM_COMMAND || !dialog) return FALSE;
    if (LOWORD(wParam) == IDOK) {
        for (std::size_t n = 0; n < dialog->fields.size(); ++n)
            dialog->fields[n].value = TextOf(GetDlgItem(box, kFirstDialogField + static_cast<int>(n)));
        EndDialog(box, IDOK);
        return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(box, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

bool ShowFieldsDialog(HWND owner, FieldsDialog& dialog) {
    const auto count = static_cast<short>(dialog.fields.size());
    const short buttons = static_cast<short>(kMargin + count * kFieldRows);
    DialogTemplate form(kWidth, static_cast<short>(buttons + kButtonHeight + kMargin), static_cast<WORD>(2 * count + 2));
    constexpr short inner = kWidth - 2 * kMargin;
    for (short n = 0; n < count; ++n) {
        const short top = static_cast<short>(kMargin + n * kFieldRows);
        form.Item(kStaticClass, SS_LEFT | SS_NOPREFIX, kFirstDialogLabel + n, kMargin, top, inner, 9);
        form.Item(kEditClass, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, kFirstDialogField + n, kMargin,
                  static_cast<short>(top + 10), inner, 14);
    }
    const short ok = kWidth - kMargin - 2 * kButtonWidth - 4;
    form.Item(kButtonClass, WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, ok, buttons, kButtonWidth, kButtonHeight);
    form.Item(kButtonClass, WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, static_cast<short>(ok + kButtonWidth + 4), buttons,
              kButtonWidth, kButtonHeight);
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), form.Get(), owner, &DialogProc,
                                   reinterpret_cast<LPARAM>(&dialog)) == IDOK;
}

}  // namespace window::win32
