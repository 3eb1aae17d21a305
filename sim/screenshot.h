// The shown display page on the host: PNG files and, when SDL2 is built in
// and a display is present, a scalable window.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "platform/display.h"

// Writes the 640 x 480 lines at the display start through the palette;
// false with a message in `error`.
bool WriteScreenshotPng(const platform::Display& display, const char* path, std::string& error);

// The window's keys that drive the unit, named apart from SDL so that their
// meaning can be tested without a window.
enum class WindowKey : uint8_t { Other, F1, F2, F3, F4, F5, F6, Enter, Plus, Minus };

// What one window input does to the front panel.
struct ControlInput {
    enum Kind : uint8_t { None, Press, Release, Knob };
    Kind    kind = None;
    int32_t arg = 0;   // Press, Release: key 1..5 soft keys, 6 knob push; Knob: detents, + as the wheel turns up
    bool operator==(const ControlInput&) const = default;
};

// F1..F5 are the soft keys and F6 or Enter the knob push, each held while its
// key is held (the key's own repeats are ignored); + and - turn the knob one
// detent, once more at each repeat.
ControlInput WindowKeyInput(WindowKey key, bool down, bool repeat);
// The mouse wheel: one detent a click.
ControlInput WindowWheelInput(int32_t clicks);

// A window that shows the page as it flips; every call is a no-op when no
// window is open.
class HostWindow {
public:
    // Opens the window when SDL2 is built in and a display is present.
    bool Open();
    // Shows the current page and appends the panel input given since the
    // last call; false once the user closed the window.
    bool Update(const platform::Display& display, std::vector<ControlInput>& input);
    void Close();
    bool IsOpen() const { return window_ != nullptr; }
private:
    void* window_ = nullptr;
    void* renderer_ = nullptr;
    void* texture_ = nullptr;
};
