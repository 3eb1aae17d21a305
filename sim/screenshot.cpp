#include "sim/screenshot.h"

#include <png.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#ifdef KV_HAVE_SDL2
#include <SDL.h>
#endif

using platform::Display;
using platform::kFrameWidth;
using platform::kShownLines;

bool WriteScreenshotPng(const Display& display, const char* path, std::string& error) {
    std::vector<uint8_t> rgb(kFrameWidth * kShownLines * 3);
    display.ShownRgb(rgb.data());
    FILE* f = std::fopen(path, "wb");
    if (!f) {
        error = std::string("cannot write ") + path + ": " + std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        error = std::string("cannot encode ") + path;
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, kFrameWidth, kShownLines, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < kShownLines; ++y) png_write_row(png, rgb.data() + y * kFrameWidth * 3);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(f) != 0) {
        error = std::string("cannot write ") + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

ControlInput WindowKeyInput(WindowKey key, bool down, bool repeat) {
    int32_t button = 0;
    switch (key) {
    case WindowKey::F1: button = 1; break;
    case WindowKey::F2: button = 2; break;
    case WindowKey::F3: button = 3; break;
    case WindowKey::F4: button = 4; break;
    case WindowKey::F5: button = 5; break;
    case WindowKey::F6:
    case WindowKey::Enter: button = 6; break;
    case WindowKey::Plus: return down ? ControlInput{ControlInput::Knob, 1} : ControlInput{};
    case WindowKey::Minus: return down ? ControlInput{ControlInput::Knob, -1} : ControlInput{};
    case WindowKey::Other: return {};
    }
    if (!down) return {ControlInput::Release, button};
    return repeat ? ControlInput{} : ControlInput{ControlInput::Press, button};
}

ControlInput WindowWheelInput(int32_t clicks) {
    return clicks == 0 ? ControlInput{} : ControlInput{ControlInput::Knob, clicks};
}

#ifdef KV_HAVE_SDL2
static WindowKey KeyOf(SDL_Keycode code) {
    switch (code) {
    case SDLK_F1: return WindowKey::F1;
    case SDLK_F2: return WindowKey::F2;
    case SDLK_F3: return WindowKey::F3;
    case SDLK_F4: return WindowKey::F4;
    case SDLK_F5: return WindowKey::F5;
    case SDLK_F6: return WindowKey::F6;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return WindowKey::Enter;
    case SDLK_PLUS:
    case SDLK_EQUALS:      // + without shift on most layouts
    case SDLK_KP_PLUS: return WindowKey::Plus;
    case SDLK_MINUS:
    case SDLK_KP_MINUS: return WindowKey::Minus;
    default: return WindowKey::Other;
    }
}

static ControlInput InputOf(const SDL_Event& e) {
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        return WindowKeyInput(KeyOf(e.key.keysym.sym), e.type == SDL_KEYDOWN, e.key.repeat != 0);
    case SDL_MOUSEWHEEL: {
        const int32_t clicks = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
        return WindowWheelInput(clicks);
    }
    default:
        return {};
    }
}

bool HostWindow::Open() {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) return false;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
    SDL_Window* w = SDL_CreateWindow("KV-5100", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, kFrameWidth,
                                     kShownLines, SDL_WINDOW_RESIZABLE);
    SDL_Renderer* r = w ? SDL_CreateRenderer(w, -1, 0) : nullptr;
    SDL_Texture* t = r ? SDL_CreateTexture(r, SDL_PIXELFORMAT_RGB24, SDL_TEXTUREACCESS_STREAMING, kFrameWidth,
                                           kShownLines) : nullptr;
    if (!t) {
        if (r) SDL_DestroyRenderer(r);
        if (w) SDL_DestroyWindow(w);
        SDL_Quit();
        return false;
    }
    SDL_RenderSetLogicalSize(r, kFrameWidth, kShownLines);   // scales with the window
    window_ = w;
    renderer_ = r;
    texture_ = t;
    return true;
}

bool HostWindow::Update(const Display& display, std::vector<ControlInput>& input) {
    if (!window_) return true;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (e.type == SDL_QUIT) return false;
        const ControlInput in = InputOf(e);
        if (in.kind != ControlInput::None) input.push_back(in);
    }
    static std::vector<uint8_t> rgb(kFrameWidth * kShownLines * 3);
    display.ShownRgb(rgb.data());
    auto* t = static_cast<SDL_Texture*>(texture_);
    auto* r = static_cast<SDL_Renderer*>(renderer_);
    SDL_UpdateTexture(t, nullptr, rgb.data(), static_cast<int>(kFrameWidth * 3));
    SDL_RenderClear(r);
    SDL_RenderCopy(r, t, nullptr, nullptr);
    SDL_RenderPresent(r);
    return true;
}

void HostWindow::Close() {
    if (!window_) return;
    SDL_DestroyTexture(static_cast<SDL_Texture*>(texture_));
    SDL_DestroyRenderer(static_cast<SDL_Renderer*>(renderer_));
    SDL_DestroyWindow(static_cast<SDL_Window*>(window_));
    SDL_Quit();
    window_ = renderer_ = texture_ = nullptr;
}
#else
bool HostWindow::Open() { return false; }
bool HostWindow::Update(const Display&, std::vector<ControlInput>&) { return true; }
void HostWindow::Close() {}
#endif
