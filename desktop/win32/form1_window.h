// Form1Window: Form1's layout realised as a native window with Win32 controls.
#pragma once

#include <windows.h>
// Needs the types that windows.h declares.
#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <string>
#include <string_view>

#include "accessibility.h"
#include "colour.h"
#include "desktop_services.h"
#include "drop_target.h"
#include "ways_in.h"
#include "win32_handles.h"

// A fixed-size top-level window scaled for its monitor's DPI. It exists from construction to
// destruction (or until the user closes it), hidden until Show(). Files and pictures come in
// through its WaysIn. Needs COM (OleInitialize) on its thread.
class Form1Window : private FileDropSink {
public:
    // Creates the window and its controls, hidden. Raises Failure when Windows refuses.
    explicit Form1Window(HINSTANCE instance);
    ~Form1Window();
    Form1Window(const Form1Window&) = delete;
    Form1Window& operator=(const Form1Window&) = delete;

    void Show(int show_command);
    // Turns the window's keyboard shortcuts into their commands; true when message was one.
    bool TranslateKeys(MSG& message);
    // Takes drops from now on; with drag_feedback, through OLE as well, which shows where a
    // drag will land.
    void AcceptDrops(bool drag_feedback);
    // False once the user has closed the window.
    bool Exists() const { return hwnd_ != nullptr; }
    HWND Handle() const { return hwnd_; }
    HWND Option(OptionButton option) const;
    HWND Label1() const { return label1_; }
    Colour BackColour() const;

    void SetOptionBackColour(OptionButton option, Colour colour);
    void SetLabelColour(Colour colour);
    // Label1's text; screen readers hear each new one. Raises Failure when it cannot be set.
    void SetLabelCaption(std::wstring_view text);
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
    void EraseBackground(HDC dc) const;
    void DrawPicture(HDC dc);
    bool TakesFiles() const override;
    void ShowDropHint(bool shown) override;
    bool TakeFileList(UniqueGlobal list) override;
    // The drop zone, where the tooltip and the double-click are, scaled.
    RECT PictureRect() const;
    // Whether a mouse message's point (in client coordinates, as lparam packs it) is on it.
    bool OnPicture(LPARAM point_in_client) const;
    // Lets go of what the window registered, and ends the message loop.
    void Destroyed();
    // The tooltip's record of the drop picture: which window and which area it covers.
    TTTOOLINFOW PictureTool() const;
    void CreateTooltip();
    void DrawDropHint(HDC dc) const;
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
    WaysIn ways_in_;
    HWND tooltip_ = nullptr;
    UniqueAccelerators accelerators_;
    AccessibleAnnotations annotations_;
    FileDropTarget drop_target_{*this};
    bool drop_target_registered_ = false;
    bool drop_hint_ = false;
};
