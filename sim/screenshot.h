// The shown display page on the host: PNG files and, when SDL2 is built in
// and a display is present, a scalable window.
#pragma once
#include <string>
#include "platform/display.h"

// Writes the 640 x 480 lines at the display start through the palette;
// false with a message in `error`.
bool WriteScreenshotPng(const platform::Display& display, const char* path, std::string& error);

// A window that shows the page as it flips; every call is a no-op when no
// window is open.
class HostWindow {
public:
    // Opens the window when SDL2 is built in and a display is present.
    bool Open();
    // Shows the current page; false once the user closed the window.
    bool Update(const platform::Display& display);
    void Close();
    bool IsOpen() const { return window_ != nullptr; }
private:
    void* window_ = nullptr;
    void* renderer_ = nullptr;
    void* texture_ = nullptr;
};
