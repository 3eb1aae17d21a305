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

#ifdef KV_HAVE_SDL2
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

bool HostWindow::Update(const Display& display) {
    if (!window_) return true;
    SDL_Event e;
    while (SDL_PollEvent(&e))
        if (e.type == SDL_QUIT) return false;
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
bool HostWindow::Update(const Display&) { return true; }
void HostWindow::Close() {}
#endif
