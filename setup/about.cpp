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
#include "map/mapfile.h"
#include "nav/arinc.h"
#include "platform/monitor.h"
#include "setup/setup.h"
#include "ui/pages.h"
#include "ui/style.h"
#include "wx/wx.h"

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

// The header's texts come from the card: read each within its field only.
template <size_t N>
static int FieldLen(const char (&field)[N]) {
    size_t n = 0;
    while (n < N && field[n] != 0) ++n;
    return static_cast<int>(n);
}

namespace {
// Appends the page's lines in order; a line beyond `max` is dropped.
struct AboutWriter {
    AboutLine* out;
    int32_t max;
    int32_t n = 0;
    char* Next() { return n < max ? out[n++] : nullptr; }
    template <typename... A>
    void Add(const char* fmt, A... args) {
        if (char* t = Next()) std::snprintf(t, kAboutLineBytes, fmt, args...);
    }
};
}  // namespace

// The loaded map, vector and terrain files and the weather receiver; a line
// whose condition does not hold takes no room. The map header lines wait for
// a loaded map: an empty header is not a loaded file.
static void AddMapLines(AboutWriter& w) {
    const MapFileHeader& h = G_MapHeader;
    if (MapLoaded()) {
        w.Add("Map File Version: %u (%.*s), Loaded", static_cast<unsigned>(h.nVersion), FieldLen(h.szDescription),
              h.szDescription);
        w.Add("    Map Data Effective: %.*s", FieldLen(h.szEffective), h.szEffective);
        w.Add("    Map Data Expires: %.*s", FieldLen(h.szExpires), h.szExpires);
    }
    if (MapStatusOf(kMapFileVector) == kMapOk)
        w.Add("Map Vector File Version: %u, Loaded", static_cast<unsigned>(G_VecHeader.nVersion));
    if (MapStatusOf(kMapFileTerrain) == kMapOk) w.Add("Map Terrain File, Loaded");
    const bool linkUp = G_Wx.nStep != 0;
    w.Add("WX Reciever: %s", linkUp ? "CONNECTED" : "UNAVAILABLE");
    if (linkUp) w.Add("WX Reciever ID: %.*s", FieldLen(G_Wx.szRecvId), G_Wx.szRecvId);
}

int32_t AboutLines(AboutLine* out, int32_t max) {
    AboutWriter w{out, max};
    w.Add("KV-5100 Software Version: %d.%d.%d-MV%d %s (%s)", kVersionMajor, kVersionMinor, kVersionBuild, kVersionMv,
          kVersionText, kBuiltOn);
    w.Add("KV-5100 Firmware Version: %s", MonitorVersion());
    static_assert(offsetof(ArincAdapterRec, szVersion) == 1, "the version text follows its present byte");
    if (char* t = w.Next())
        FormatArincVersion(reinterpret_cast<const uint8_t*>(G_ArincAdapter), kArincRecords,
                           static_cast<int32_t>(sizeof(ArincAdapterRec)), t, kAboutLineBytes);
    static const struct { const char* label; const char* name; } kEnvLines[] = {
        {"MAC Address", "ETHERADD"},
        {"IP Address", "IPADD"},
        {"Unit Serial Number", "SERIALNUM"},
        {"Base Board Revision", "BASEBOARDREV"},
        {"Base Board Serial Number", "BASEBOARDSN"},
        {"Engine Board Serial Number", "ENGINEBOARDSN"},
        {"AHRS Serial Number", "AHRSSERIALNUM"},
    };
    for (const auto& e : kEnvLines) w.Add("%s: %s", e.label, EnvText(e.name));
    w.Add("AHRS Model Number: %d", static_cast<int>(G_Ahrs.nModel));
    if (G_NetStreamCfg[kStreamMap].INST != 0) AddMapLines(w);
    return w.n;
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
    AboutLine lines[kAboutLinesMax];
    const int32_t n = AboutLines(lines, kAboutLinesMax);
    for (int32_t i = 0; i < n; ++i) DrawTextF(31, 4, 3, p.x0 + 10, p.y0 + 45 + i * kAboutLineStep, "%s", lines[i]);
    ClearAuxPaneClip();
}
