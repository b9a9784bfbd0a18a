// Form1Window: Form1's layout realised as a native window with Win32 controls.
#pragma once

#include <windows.h>
// Needs the types that windows.h declares.
#include <shellapi.h>

#include <array>
#include <string_view>

#include "colour.h"
#include "desktop_services.h"
#include "win32_handles.h"

// A fixed-size top-level window scaled for its monitor's DPI. It exists from construction to
// destruction (or until the user closes it), hidden until Show().
class Form1Window {
public:
    // Creates the window and its controls, hidden. Raises Failure when Windows refuses.
    explicit Form1Window(HINSTANCE instance);
    ~Form1Window();
    Form1Window(const Form1Window&) = delete;
    Form1Window& operator=(const Form1Window&) = delete;

    void Show(int show_command);
    // False once the user has closed the window.
    bool Exists() const { return hwnd_ != nullptr; }
    HWND Handle() const { return hwnd_; }
    HWND Option(OptionButton option) const;
    HWND Label1() const { return label1_; }
    Colour BackColour() const;

    void SetOptionBackColour(OptionButton option, Colour colour);
    void SetLabelColour(Colour colour);
    void RemoveLabelBorder();
    // The wait cursor over the window while busy; the default one back at once otherwise.
    void SetBusy(bool busy);

private:
    static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
    void CreateControls();
    // Sizes and places the window's client area, the controls and the fonts for dpi.
    void ApplyDpi(UINT dpi, const RECT* suggested);
    SIZE FrameSizeFor(UINT dpi) const;
    int Scale(int pixels_at_96) const;
    void Paint();
    void DropFiles(HDROP drop);
    LRESULT ControlColour(HDC dc, HWND control);
    void LoadIcons();

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    HWND option1_ = nullptr;
    HWND option2_ = nullptr;
    HWND label1_ = nullptr;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    UniqueFont window_font_;
    UniqueFont label_font_;
    UniqueBrush back_brush_;
    std::array<Colour, 2> option_colours_{};
    std::array<UniqueBrush, 2> option_brushes_;
    Colour label_colour_ = 0;
    UniqueBitmap picture_;
    UniqueBitmap picture_2x_;
    UniqueIcon big_icon_;
    UniqueIcon small_icon_;
    bool busy_ = false;
    bool in_drop_ = false;
};
