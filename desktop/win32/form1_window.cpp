// Form1Window: the window class, its controls, DPI scaling and painting.
#include "form1_window.h"

#include <windows.h>
// Needs the types that windows.h declares.
#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "form1.h"
#include "resource_ids.h"
#include "scope_guard.h"
#include "wide_text.h"

// Older mingw-w64 headers lack the Windows 10 1703 message.
#ifndef WM_GETDPISCALEDSIZE
#define WM_GETDPISCALEDSIZE 0x02E4
#endif

namespace {

constexpr wchar_t kClassName[] = L"Vellumine.Form1";
constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
// Lets IsDialogMessage move the focus between the options with Tab and the arrow keys.
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;
constexpr int kOption1Id = 1001;
constexpr int kOption2Id = 1002;
constexpr int kLabel1Id = 1003;
constexpr UINT_PTR kPictureToolId = 1;
// Wider than the longest line of the ways-in hint, which then breaks only where the hint does.
constexpr int kTooltipWidth = 320;

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = instance;
    window_class.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_VELLUMINE));
    window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    window_class.style = CS_DBLCLKS;
    window_class.lpszClassName = kClassName;
    if (!::RegisterClassExW(&window_class) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw Failure("cannot register the window class");
    }
}

UniqueFont MakeFont(const FontSpec& face, UINT dpi) {
    // Points are at 96 dpi in the layout, like the pixel sizes, so both scale by dpi / 96.
    const int height = -static_cast<int>(std::lround(face.points * dpi / 72.0));
    UniqueFont font(::CreateFontW(height, 0, 0, 0, face.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                                  FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                                  ToWide(face.family).c_str()));
    if (!font) {
        throw Failure("cannot create a font");
    }
    return font;
}

HWND MakeControl(HWND parent, HINSTANCE instance, const wchar_t* window_class, DWORD style,
                 const ControlSpec& control_layout, int id) {
    HWND control = ::CreateWindowExW(
        0, window_class, ToWide(control_layout.text).c_str(), WS_CHILD | WS_VISIBLE | style,
        control_layout.left, control_layout.top, control_layout.width, control_layout.height,
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (control == nullptr) {
        throw Failure("cannot create the control " + std::string(control_layout.name));
    }
    return control;
}

// A memory DC with one bitmap selected, undone on every path.
class BitmapDc {
public:
    BitmapDc(HDC target, HBITMAP bitmap) : dc_(::CreateCompatibleDC(target)) {
        if (dc_ != nullptr) {
            previous_ = ::SelectObject(dc_, bitmap);
        }
    }
    ~BitmapDc() {
        if (dc_ != nullptr) {
            ::SelectObject(dc_, previous_);
            ::DeleteDC(dc_);
        }
    }
    BitmapDc(const BitmapDc&) = delete;
    BitmapDc& operator=(const BitmapDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
    HGDIOBJ previous_ = nullptr;
};

class PaintScope {
public:
    explicit PaintScope(HWND hwnd) : hwnd_(hwnd), dc_(::BeginPaint(hwnd, &paint_)) {}
    ~PaintScope() { ::EndPaint(hwnd_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC Dc() const { return dc_; }

private:
    HWND hwnd_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// A GDI object selected into a DC for the object's lifetime.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~Selected() { ::SelectObject(dc_, previous_); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

void Report(const char* where, const char* what) {
    std::fprintf(stderr, "vellumine: %s: %s\n", where, what);
}

std::wstring OneLine(std::wstring text) {
    std::ranges::replace(text, L'\n', L' ');
    return text;
}

}  // namespace

Form1Window::Form1Window(HINSTANCE instance)
    : instance_(instance),
      back_brush_(::CreateSolidBrush(Form1.back_colour)),
      option_colours_{Form1.back_colour, Form1.back_colour},
      label_colour_(Form1.label_initial_colour) {
    if (!back_brush_) {
        throw Failure("cannot create the background brush");
    }
    RegisterWindowClass(instance_, &Form1Window::WindowProcedure);
    // Created at its 96-dpi size and resized once its monitor's DPI is known; it stays hidden
    // until HandleWindowLoad has finished it.
    RECT frame{0, 0, Form1.client_width, Form1.client_height};
    ::AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
    HWND hwnd = ::CreateWindowExW(kWindowExStyle, kClassName, L"", kWindowStyle, CW_USEDEFAULT,
                                  CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                                  nullptr, nullptr, instance_, this);
    if (hwnd == nullptr) {
        throw Failure("cannot create the main window");
    }
    // The window's own message handling cannot reach this object until the end of WM_NCCREATE,
    // so a failure from here on must take the window down again.
    ScopeGuard destroy([this]() noexcept {
        if (hwnd_ != nullptr) {
            ::DestroyWindow(hwnd_);
        }
    });
    CreateControls();
    ApplyDpi(::GetDpiForWindow(hwnd_), nullptr);
    destroy.Dismiss();
}

Form1Window::~Form1Window() {
    if (hwnd_ != nullptr) {
        ::DestroyWindow(hwnd_);
    }
}

void Form1Window::CreateControls() {
    // In tab order. The first option starts the group; Label1 starts another, which ends it.
    option1_ = MakeControl(hwnd_, instance_, L"BUTTON", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP,
                           Form1.option1, kOption1Id);
    option2_ =
        MakeControl(hwnd_, instance_, L"BUTTON", BS_AUTORADIOBUTTON, Form1.option2, kOption2Id);
    label1_ = MakeControl(hwnd_, instance_, L"STATIC",
                          SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX | WS_BORDER | WS_GROUP,
                          Form1.label1, kLabel1Id);
    ::SendMessageW(Form1.option1.initially_selected ? option1_ : option2_, BM_SETCHECK, BST_CHECKED,
                   0);
    annotations_.Describe(hwnd_, OneLine(ToWide(Form1.ways_in_hint)));
    annotations_.MakePoliteLiveRegion(label1_);
    const ACCEL keys[] = {
        {FVIRTKEY | FCONTROL, 'V', IDM_PASTE},
        {FVIRTKEY | FSHIFT, VK_INSERT, IDM_PASTE},
        {FVIRTKEY | FCONTROL, 'O', IDM_OPEN},
    };
    accelerators_.Reset(::CreateAcceleratorTableW(const_cast<ACCEL*>(keys), std::size(keys)));
    if (!accelerators_) {
        throw Failure("cannot create the keyboard shortcuts");
    }
}

void Form1Window::CreateTooltip() {
    if (tooltip_ != nullptr) {
        return;
    }
    // A help, not a reason to stop: without it the window still works.
    tooltip_ =
        ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                          WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance_, nullptr);
    if (tooltip_ == nullptr) {
        return;
    }
    // The tooltip keeps a copy of the text.
    std::wstring hint = ToWide(Form1.ways_in_hint);
    TTTOOLINFOW tool = PictureTool();
    tool.uFlags = TTF_SUBCLASS;
    tool.hinst = instance_;
    tool.lpszText = hint.data();
    ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scale(kTooltipWidth));
}

TTTOOLINFOW Form1Window::PictureTool() const {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd_;
    tool.uId = kPictureToolId;
    tool.rect = PictureRect();
    return tool;
}

RECT Form1Window::PictureRect() const {
    const RectSpec& zone = Form1.drop_zone;
    return {Scale(zone.left), Scale(zone.top), Scale(zone.left + zone.width),
            Scale(zone.top + zone.height)};
}

void Form1Window::Show(int show_command) {
    ::ShowWindow(hwnd_, show_command);
    // Only now: a tooltip (always a topmost window) that the window owns before it is first
    // shown makes Wine 8 map the window without its stay-on-top state.
    CreateTooltip();
    // Windows hides the focus rectangle until a key is pressed; a keyboard user must see at
    // once where the focus is.
    ::SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    ::UpdateWindow(hwnd_);
}

bool Form1Window::TranslateKeys(MSG& message) {
    if (message.hwnd != hwnd_ && !::IsChild(hwnd_, message.hwnd)) {
        return false;
    }
    return ::TranslateAcceleratorW(hwnd_, accelerators_.Get(), &message) != 0;
}

void Form1Window::AcceptDrops(bool drag_feedback) {
    ::DragAcceptFiles(hwnd_, TRUE);
    // OLE's drag-over events are what let the window show where a drop lands; WM_DROPFILES
    // stays as the way in where OLE cannot register the window.
    if (drag_feedback && !drop_target_registered_) {
        drop_target_registered_ = ::RegisterDragDrop(hwnd_, &drop_target_) == S_OK;
    }
}

HWND Form1Window::Option(OptionButton option) const {
    return option == OptionButton::Option1 ? option1_ : option2_;
}

Colour Form1Window::BackColour() const {
    return Form1.back_colour;
}

int Form1Window::Scale(int pixels_at_96) const {
    return ::MulDiv(pixels_at_96, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI);
}

SIZE Form1Window::FrameSizeFor(UINT dpi) const {
    RECT frame{0, 0, ::MulDiv(Form1.client_width, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI),
               ::MulDiv(Form1.client_height, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI)};
    // The frame and caption grow with the DPI too, but not in proportion: ask for them.
    ::AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, kWindowExStyle, dpi);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

void Form1Window::ApplyDpi(UINT dpi, const RECT* suggested) {
    dpi_ = dpi == 0 ? USER_DEFAULT_SCREEN_DPI : dpi;
    UniqueFont window_font = MakeFont(Form1.font, dpi_);
    UniqueFont label_font = MakeFont(Form1.label1.font, dpi_);
    for (const auto& [control, layout] :
         {std::pair{option1_, &Form1.option1}, std::pair{option2_, &Form1.option2},
          std::pair{label1_, &Form1.label1}}) {
        ::SetWindowPos(control, nullptr, Scale(layout->left), Scale(layout->top),
                       Scale(layout->width), Scale(layout->height), SWP_NOZORDER | SWP_NOACTIVATE);
        HFONT font = control == label1_ ? label_font.Get() : window_font.Get();
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    // The controls use the new fonts now; the old ones can go.
    window_font_ = std::move(window_font);
    label_font_ = std::move(label_font);

    const SIZE size = FrameSizeFor(dpi_);
    if (suggested != nullptr) {
        ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, size.cx, size.cy,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        ::SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (tooltip_ != nullptr) {
        TTTOOLINFOW tool = PictureTool();
        ::SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
        ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scale(kTooltipWidth));
    }
    LoadIcons();
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void Form1Window::LoadIcons() {
    // Sized for the DPI: LoadImageW picks the .ico's nearest image and scales it, where the
    // class icon would be the system's default size, blurred on a high-DPI screen. (mingw-w64's
    // comctl32 import library lacks LoadIconWithScaleDown.)
    const auto load = [this](int metric) {
        const int size = ::GetSystemMetricsForDpi(metric, dpi_);
        return UniqueIcon(static_cast<HICON>(::LoadImageW(
            instance_, MAKEINTRESOURCEW(IDI_VELLUMINE), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
    };
    UniqueIcon new_big = load(SM_CXICON);
    UniqueIcon new_small = load(SM_CXSMICON);
    if (!new_big || !new_small) {
        return;  // the class icon stays: a worse icon, not a reason to stop
    }
    ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(new_big.Get()));
    ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(new_small.Get()));
    big_icon_ = std::move(new_big);
    small_icon_ = std::move(new_small);
}

void Form1Window::SetOptionBackColour(OptionButton option, Colour colour) {
    const auto index = option == OptionButton::Option1 ? 0u : 1u;
    UniqueBrush brush(::CreateSolidBrush(colour));
    if (!brush) {
        throw Failure("cannot create a brush");
    }
    option_colours_[index] = colour;
    option_brushes_[index] = std::move(brush);
    ::InvalidateRect(Option(option), nullptr, TRUE);
}

void Form1Window::SetLabelColour(Colour colour) {
    label_colour_ = colour;
    ::InvalidateRect(label1_, nullptr, TRUE);
}

void Form1Window::SetLabelCaption(std::wstring_view text) {
    if (!::SetWindowTextW(label1_, std::wstring(text).c_str())) {
        throw Failure("cannot set the status line");
    }
    AccessibleAnnotations::AnnounceChange(label1_);
}

void Form1Window::RemoveLabelBorder() {
    const LONG_PTR style = ::GetWindowLongPtrW(label1_, GWL_STYLE);
    ::SetWindowLongPtrW(label1_, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_BORDER));
    // Windows caches the frame; it is measured again only when told that it changed.
    ::SetWindowPos(label1_, nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(label1_, nullptr, TRUE);
}

void Form1Window::SetBusy(bool busy) {
    busy_ = busy;
    if (busy) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        return;
    }
    // The pointer changes only when the mouse moves, unless the window under it is asked for
    // its cursor again now.
    POINT point{};
    if (!::GetCursorPos(&point)) {
        return;
    }
    HWND under = ::WindowFromPoint(point);
    if (under != hwnd_ && !::IsChild(hwnd_, under)) {
        return;
    }
    const auto hit =
        static_cast<WORD>(::SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y)));
    ::SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                   MAKELPARAM(hit, WM_MOUSEMOVE));
}

void Form1Window::EraseBackground(HDC dc) const {
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    ::FillRect(dc, &client, back_brush_.Get());
}

void Form1Window::Paint() {
    const PaintScope paint(hwnd_);
    DrawPicture(paint.Dc());
    if (drop_hint_) {
        DrawDropHint(paint.Dc());
    }
}

void Form1Window::DrawDropHint(HDC dc) const {
    const OutlineSpec& outline = Form1.drop_outline;
    const UniqueHandle<GdiObjectTraits<HPEN>> pen(
        ::CreatePen(PS_SOLID, Scale(outline.pen_width), ColourDone));
    if (!pen) {
        return;
    }
    const Selected with_pen(dc, pen.Get());
    const Selected hollow(dc, ::GetStockObject(NULL_BRUSH));
    // RoundRect takes the corners' diameter, and ends a pixel short of its right and bottom
    // edges: one more puts its lines on the picture's, as on the left and at the top.
    const RectSpec& line = outline.rect;
    ::RoundRect(dc, Scale(line.left), Scale(line.top), Scale(line.left + line.width) + 1,
                Scale(line.top + line.height) + 1, Scale(2 * outline.corner_radius),
                Scale(2 * outline.corner_radius));
}

void Form1Window::DrawPicture(HDC dc) {
    // The double-size picture keeps the drop zone sharp above 96 dpi; it is loaded only there,
    // to keep start-up short everywhere else.
    HBITMAP picture = picture_.Get();
    if (dpi_ > USER_DEFAULT_SCREEN_DPI) {
        if (!picture_2x_) {
            picture_2x_.Reset(
                static_cast<HBITMAP>(::LoadImageW(instance_, MAKEINTRESOURCEW(IDB_DROP_ZONE_2X),
                                                  IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        }
        picture = picture_2x_.Get();
    } else if (!picture_) {
        picture_.Reset(static_cast<HBITMAP>(::LoadImageW(instance_, MAKEINTRESOURCEW(IDB_DROP_ZONE),
                                                         IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        picture = picture_.Get();
    }
    if (picture == nullptr) {
        return;  // an empty drop zone still takes drops
    }
    BITMAP size{};
    ::GetObjectW(picture, sizeof size, &size);
    const BitmapDc source(dc, picture);
    const int width = Scale(Form1.picture_width);
    const int height = Scale(Form1.picture_height);
    if (width == size.bmWidth && height == size.bmHeight) {
        ::BitBlt(dc, 0, 0, width, height, source.Get(), 0, 0, SRCCOPY);
    } else {
        ::SetStretchBltMode(dc, HALFTONE);
        ::SetBrushOrgEx(dc, 0, 0, nullptr);
        ::StretchBlt(dc, 0, 0, width, height, source.Get(), 0, 0, size.bmWidth, size.bmHeight,
                     SRCCOPY);
    }
}

LRESULT Form1Window::ControlColour(HDC dc, HWND control) {
    if (control == label1_) {
        ::SetTextColor(dc, label_colour_);
        ::SetBkColor(dc, Form1.back_colour);
        return reinterpret_cast<LRESULT>(back_brush_.Get());
    }
    if (control == option1_ || control == option2_) {
        const std::size_t index = control == option1_ ? 0 : 1;
        ::SetBkColor(dc, option_colours_[index]);
        const HBRUSH brush =
            option_brushes_[index] ? option_brushes_[index].Get() : back_brush_.Get();
        return reinterpret_cast<LRESULT>(brush);
    }
    return ::DefWindowProcW(hwnd_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                            reinterpret_cast<LPARAM>(control));
}

bool Form1Window::TakesFiles() const {
    return ways_in_.Idle();
}

bool Form1Window::TakeFileList(UniqueGlobal list) {
    return ways_in_.TakeFileList(std::move(list));
}

void Form1Window::ShowDropHint(bool shown) {
    if (drop_hint_ == shown || hwnd_ == nullptr) {
        return;
    }
    drop_hint_ = shown;
    // Erased as well: without its picture the drop zone would keep the outline.
    const RECT picture = PictureRect();
    ::InvalidateRect(hwnd_, &picture, TRUE);
}

bool Form1Window::OnPicture(LPARAM point_in_client) const {
    const POINT point{GET_X_LPARAM(point_in_client), GET_Y_LPARAM(point_in_client)};
    const RECT picture = PictureRect();
    return ::PtInRect(&picture, point) != 0;
}

void Form1Window::Destroyed() {
    if (drop_target_registered_) {
        ::RevokeDragDrop(hwnd_);
        drop_target_registered_ = false;
    }
    annotations_.Clear();
    ::PostQuitMessage(0);
}

LRESULT CALLBACK Form1Window::WindowProcedure(HWND hwnd, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* window =
            static_cast<Form1Window*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        window->hwnd_ = hwnd;
        window->ways_in_.SetWindow(hwnd);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    }
    auto* window = reinterpret_cast<Form1Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window == nullptr) {
        return ::DefWindowProcW(hwnd, message, wparam, lparam);
    }
    // An exception must not unwind through Windows' own frames, which know nothing of C++.
    try {
        return window->Handle(message, wparam, lparam);
    } catch (const std::exception& error) {
        Report("window message", error.what());
    } catch (...) {
        Report("window message", "unknown exception");
    }
    return 0;
}

LRESULT Form1Window::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    HWND hwnd = hwnd_;  // WM_NCDESTROY clears the member before the default handling
    if (const std::optional<LRESULT> result = ways_in_.Handle(message, wparam, lparam)) {
        return *result;
    }
    switch (message) {
        case WM_ERASEBKGND:
            EraseBackground(reinterpret_cast<HDC>(wparam));
            return 1;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_CTLCOLORSTATIC:
            return ControlColour(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
        case WM_SETCURSOR:
            if (busy_) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        case WM_SETFOCUS:
            // The keyboard focus goes to the chosen option, as in a dialog box.
            ::SetFocus(::SendMessageW(option1_, BM_GETCHECK, 0, 0) == BST_CHECKED ? option1_
                                                                                  : option2_);
            return 0;
        case WM_LBUTTONDBLCLK:
            if (OnPicture(lparam)) {
                ways_in_.Choose();
                return 0;
            }
            break;
        case WM_GETDPISCALEDSIZE: {
            // Windows would scale the whole frame in proportion; the exact size differs.
            *reinterpret_cast<SIZE*>(lparam) = FrameSizeFor(LOWORD(wparam));
            return TRUE;
        }
        case WM_DPICHANGED:
            ApplyDpi(HIWORD(wparam), reinterpret_cast<const RECT*>(lparam));
            return 0;
        case WM_DESTROY:
            Destroyed();
            return 0;
        case WM_NCDESTROY:
            ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
            hwnd_ = option1_ = option2_ = label1_ = nullptr;
            ways_in_.SetWindow(nullptr);
            break;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd, message, wparam, lparam);
}
