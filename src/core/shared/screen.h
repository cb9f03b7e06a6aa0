#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tornavel {

// Window messages the polling thread (and a few window routines) post to the
// main window; they are handled on the window thread in the order posted.
enum class WindowMessage : int {
    ThreadEnded = 1032,     // WM_USER+8
    ChangeDone = 1033,      // WM_USER+9
    DrawVolt = 1034,        // WM_USER+10
    SetLoad = 1035,         // WM_USER+11
    SetBatt = 1036,         // WM_USER+12
    TerminalAnswer = 1037,  // WM_USER+13
    GaugeStep = 1038,       // WM_USER+14
};

// What the core shows, addressed by component name. The core never touches a
// widget: the window implements this, and core tests record the calls.
// Called from the polling thread, every call is carried to the window thread
// in the order made, interleaved correctly with the posted messages.
class Screen {
public:
    virtual ~Screen() = default;
    // Plain text (never markup), UTF-8.
    virtual void SetText(std::string_view control, const std::string& text) = 0;
    virtual void SetVisible(std::string_view control, bool visible) = 0;
    // The control takes the picture of the (hidden) source control.
    virtual void SetPicture(std::string_view control, std::string_view source) = 0;
    // Bar colour of a gauge, or text colour of a label or edit box, as 0xRRGGBB.
    virtual void SetColor(std::string_view control, std::uint32_t rgb) = 0;
    // Progress bars.
    virtual void SetValue(std::string_view control, int value) = 0;
    virtual void SetMaximum(std::string_view control, int maximum) = 0;
    // The device grid: row count including the header row (rows dropped lose
    // their cells, new rows come empty), and one cell.
    virtual void SetRowCount(std::string_view grid, int rows) = 0;
    virtual void SetCell(std::string_view grid, int column, int row, const std::string& text) = 0;
    virtual void PostMessage(WindowMessage message) = 0;
    // Let the window handle its pending events (window thread only; the
    // polling thread's implementation does nothing).
    virtual void ProcessMessages() = 0;
};

}  // namespace tornavel
