// The unit information page: software and monitor versions, the ARINC
// adapter's version, the addresses and serial numbers kept in monitor
// variables, and the AHRS model. Redrawn whole every frame; keys do nothing.
#include <cstddef>
#include <cstdio>

#include "core/boot.h"
#include "core/irq.h"
#include "core/util.h"
#include "efis/ahrs.h"
#include "gui/gui.h"
#include "platform/monitor.h"
#include "setup/setup.h"
#include "ui/pages.h"
#include "ui/style.h"

constexpr int32_t kAboutLineStep = 15;

void FormatArincVersion(const uint8_t* records, int32_t count, int32_t stride, char* out, int32_t size) {
    for (int32_t i = 0; records != nullptr && stride > 1 && i < count; ++i) {
        const uint8_t* r = records + static_cast<std::ptrdiff_t>(i) * stride;
        if (r[0] == 0) continue;
        // The text came from the adapter: read it within its record only.
        int32_t n = 0;
        while (n < stride - 1 && r[1 + n] != 0) ++n;
        std::snprintf(out, static_cast<size_t>(size), "ARINC Software Version: %.*s", static_cast<int>(n),
                      reinterpret_cast<const char*>(r + 1));
        return;
    }
    std::snprintf(out, static_cast<size_t>(size), "ARINC Software Version: NOT AVAILABLE");
}

// A monitor variable, or an empty text when it is not set.
static const char* EnvText(const char* name) {
    AppIntsOffRestore(0);
    const char* v = mon_getenv(name);
    AppIntsOffRestore(1);
    return v != nullptr ? v : "";
}

static const char* MonitorVersion() {
    AppIntsOffRestore(0);
    const char* v = mon_version();
    AppIntsOffRestore(1);
    return v != nullptr ? v : "";
}

void AboutScreen(int32_t) {
    const PaneRecord& p = G_AuxPane;
    if (p.pRect == nullptr) return;
    const int32_t py = static_cast<int32_t>(G_FlipCtl.nDrawPageY);
    GUI_SelectScreen();
    SetAuxPaneClip(py);
    GUI_SetBkColorIndex(0);
    GUI_ClearRect(p.x0, p.y0 + py, p.x1, p.y1 + py);
    DrawTextF(14, 10, 4, p.nCenterX, p.y0 + 5, "ABOUT: KV-5100 Series Flight Instrument");
    SetDrawColor(8);
    GUI_DrawHLine(p.y0 + 40 + py, p.x0, p.x1);
    int32_t y = p.y0 + 45;
    auto line = [&y, &p](const char* text) {
        DrawTextF(31, 4, 3, p.x0 + 10, y, "%s", text);
        y += kAboutLineStep;
    };
    char text[128];
    std::snprintf(text, sizeof text, "KV-5100 Software Version: %d.%d.%d-MV%d %s (%s)", kVersionMajor, kVersionMinor,
                  kVersionBuild, kVersionMv, kVersionText, kBuiltOn);
    line(text);
    std::snprintf(text, sizeof text, "KV-5100 Firmware Version: %s", MonitorVersion());
    line(text);
    // The adapter records are filled by the ARINC adapter's driver; none is kept yet.
    FormatArincVersion(nullptr, 0, 0, text, sizeof text);
    line(text);
    static const struct { const char* label; const char* name; } kEnvLines[] = {
        {"MAC Address", "ETHERADD"},
        {"IP Address", "IPADD"},
        {"Unit Serial Number", "SERIALNUM"},
        {"Base Board Revision", "BASEBOARDREV"},
        {"Base Board Serial Number", "BASEBOARDSN"},
        {"Engine Board Serial Number", "ENGINEBOARDSN"},
        {"AHRS Serial Number", "AHRSSERIALNUM"},
    };
    for (const auto& e : kEnvLines) {
        std::snprintf(text, sizeof text, "%s: %s", e.label, EnvText(e.name));
        line(text);
    }
    std::snprintf(text, sizeof text, "AHRS Model Number: %d", static_cast<int>(G_Ahrs.nModel));
    line(text);
    // The map file and weather receiver lines follow here once their modules keep them.
    ClearAuxPaneClip();
}
