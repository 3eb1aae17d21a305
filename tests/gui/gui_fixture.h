// A board with the graphics library initialised, and pixel access to the
// frame memory as the controller holds it.
#pragma once
#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include "gui/gui.h"
#include "gui/lcd.h"
#include "sim/screenshot.h"
#include "support/board_fixture.h"

inline std::string TempPath(const char* suffix) {
    char path[] = "/tmp/kvguiXXXXXX";
    int fd = mkstemp(path);
    close(fd);
    unlink(path);
    return std::string(path) + suffix;
}

inline void WriteFile(const std::string& path, const void* data, size_t n) {
    std::ofstream(path, std::ios::binary).write(static_cast<const char*>(data), static_cast<std::streamsize>(n));
}

// The distribution's interpreter, which has the distribution's Pillow.
inline int Python(const std::string& script) {
    std::string path = TempPath(".py");
    WriteFile(path, script.data(), script.size());
    int rc = std::system(("/usr/bin/python3 " + path).c_str());
    unlink(path.c_str());
    return rc;
}

class GuiTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        GUI_Init();
    }
    uint8_t* Frame() { return board().display().Memory(); }
    uint8_t Px(int x, int y) { return Frame()[y * 640 + x]; }
    // Pixels of index `index` within a window around the origin.
    std::set<std::pair<int, int>> Set(int x0, int y0, int x1, int y1, uint8_t index = 1) {
        std::set<std::pair<int, int>> s;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (Px(x, y) == index) s.insert({x, y});
        return s;
    }
    void ClearFrame() { std::fill(Frame(), Frame() + 640 * 1638, 0); }
    // Writes the shown page as kv5100 does and compares it with the reference
    // PNG kept beside the tests (KV_UPDATE_GOLDEN=1 rewrites the reference);
    // `checks` are more Python lines run on the new image `a`.
    void ExpectScreenshotMatches(const char* golden, const std::string& checks = "") {
        std::string png = TempPath(".png");
        std::string error;
        ASSERT_TRUE(WriteScreenshotPng(board().display(), png.c_str(), error)) << error;
        std::string reference = std::string(KV_GUI_TEST_DIR) + "/" + golden;
        if (std::getenv("KV_UPDATE_GOLDEN")) {
            ASSERT_EQ(std::system(("cp " + png + " " + reference).c_str()), 0);
        }
        std::string script =
            "from PIL import Image, ImageChops\n"
            "a = Image.open('" + png + "'); b = Image.open('" + reference + "')\n"
            "assert a.size == (640, 480) and a.mode == 'RGB'\n"
            "assert ImageChops.difference(a.convert('RGB'), b.convert('RGB')).getbbox() is None, 'page differs'\n" +
            checks;
        EXPECT_EQ(Python(script), 0);
        unlink(png.c_str());
    }
};
