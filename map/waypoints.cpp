// The selected airport's detail lists, remark lines and page counts, the
// formatters and the box frame shared by the database pages, and the choice
// of box drawn for the map page.
#include "map/waypoints.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/irq.h"
#include "core/util.h"
#include "gui/font.h"
#include "gui/gui.h"
#include "gui/text.h"
#include "map/layers.h"
#include "map/records.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/style.h"
#include "wx/wx.h"

namespace {
constexpr int32_t kLineWidthPx = 245;   // a remark line is narrower than this
constexpr int32_t kWrapStep = 50;       // characters to each break mark
constexpr int32_t kWrapLookBack = 17;   // characters a separator is looked for before the mark

bool IsBreak(char c) { return c == '-' || c == ' ' || c == '/'; }

// One wrapped line: its remark's parity, then the text.
void AddLine(const char* text, int32_t n, uint32_t parity) {
    if (G_WptDb.nRemarkLines >= kWptRemarkLines) return;
    char* line = G_WptDb.aRemarkLines[G_WptDb.nRemarkLines++];
    if (n > static_cast<int32_t>(kWptRemarkLineBytes) - 2) n = kWptRemarkLineBytes - 2;
    line[0] = static_cast<char>(parity);
    std::memcpy(line + 1, text, static_cast<size_t>(n));
    line[1 + n] = '\0';
}

int32_t Fits(const char* text, int32_t n) { return TextWidthN(text, n) < kLineWidthPx; }

// The widest prefix of at most `most` characters that fits; at least one
// character, so the wrapping always moves on.
int32_t WidestFit(const char* text, int32_t most) {
    int32_t n = most;
    while (n > 1 && !Fits(text, n)) --n;
    return n;
}

void WrapRemark(const char* t, int32_t len, uint32_t parity) {
    if (len < kWrapStep && Fits(t, len)) {
        AddLine(t, len, parity);
        return;
    }
    int32_t pos = 0;
    while (pos < len && G_WptDb.nRemarkLines < kWptRemarkLines) {
        int32_t start = pos;
        while (start < len && t[start] == ' ') ++start;
        if (start >= len) break;
        pos += kWrapStep;
        if (pos > len && Fits(t + start, len - start)) {
            AddLine(t + start, len - start, parity);
            break;
        }
        // The look-back never starts past the text's end.
        if (pos > len) pos = len;
        bool broken = false;
        for (int32_t k = 0; k < kWrapLookBack && pos - k > start; ++k) {
            const int32_t at = pos - k;
            if (!IsBreak(t[at]) || !Fits(t + start, at - start + 1)) continue;
            AddLine(t + start, at - start + 1, parity);
            pos = at + 1;
            broken = true;
            break;
        }
        if (broken) continue;
        // No separator fits: the widest stretch that does, nothing repeated.
        const int32_t n = WidestFit(t + start, pos - start);
        AddLine(t + start, n, parity);
        pos = start + n;
    }
}

uint32_t AirportFreqCount() { return G_WptDb.abAirport[apt::kRec9Count]; }
}  // namespace

WptRect WptSmallBoxRect() {
    const bool right = G_MapShowEngine == 0 && G_MapPane.nFlagA == 0;
    return right ? WptRect{458, 313, 638, 458} : WptRect{255, 313, 435, 458};
}

int32_t WptFrameRow(int32_t row) { return row + kWptBoxDrop; }
int32_t WptTextRow(int32_t row) { return row + kWptBoxDrop - static_cast<int32_t>(G_FlipCtl.nDrawPageY); }
WptRect WptDropRect(const WptRect& r) {
    return {r.x0, static_cast<int16_t>(WptTextRow(r.y0)), r.x1, static_cast<int16_t>(WptTextRow(r.y1))};
}

int32_t TextWidthN(const char* text, int32_t n) {
    int32_t w = 0;
    for (int32_t i = 0; i < n && i < 500 && text[i] != '\0'; ++i) w += GUI_CharWidth(static_cast<uint8_t>(text[i]));
    return w;
}

void RemarkWrapLines() {
    const GUI_Font* old = GUI_SetFont(&G_FontP13);
    for (auto& line : G_WptDb.aRemarkLines) line[0] = 0;
    G_WptDb.nRemarkLines = 0;
    uint32_t count = G_WptDb.abAirport[apt::kRemarks];
    if (count > kRemarkTexts) count = kRemarkTexts;
    for (uint32_t r = 0; r < count && G_WptDb.nRemarkLines < kWptRemarkLines; ++r) {
        const char* t = G_WptDb.aRemarkTexts[r];
        WrapRemark(t, static_cast<int32_t>(strnlen(t, kRemarkTextBytes)), r % 2);
    }
    const uint32_t lines = G_WptDb.nRemarkLines;
    G_WptDb.nRemarkPages = lines > 0 ? lines / 5 + 1 : 0;
    GUI_SetFont(old);
}

void AirportPagesLoad() {
    SetKnobFunc(&G_Knob0, kKnobInfo);
    uint8_t* a = G_WptDb.abAirport;
    MapReadRunways(a, G_WptDb.abRunways[0], G_MapHeader);
    MapReadAirportRecs9(a, G_WptDb.abFreqs[0], G_MapHeader);
    MapReadRemarkRefs(a, G_WptDb.abRemarkRefs[0], G_MapHeader);
    for (auto& text : G_WptDb.aRemarkTexts) text[0] = '\0';
    MapReadTextBlocks(G_WptDb.abRemarkRefs[0], a[apt::kRemarks], G_WptDb.aRemarkTexts);
    RemarkWrapLines();
    G_MapPane.nRedraw = 2;
}

void AirportPagesCount() {
    const uint8_t* a = G_WptDb.abAirport;
    if (a[apt::kId] == '\0') return;
    const uint32_t freqs = AirportFreqCount();
    G_WptDb.nFreqPages = freqs <= 3 ? 0 : (freqs - 4) / 6 + 1;
    if (G_Wx.nMetarRxTime != 0 && G_Wx.bMetarRx) {
        char id[kWptIdBytes + 1] = {};
        std::memcpy(id, a + apt::kId, kWptIdBytes);
        const char* report = WxMetarFor(FindWaypointId(id));
        G_WptDb.bMetarPage = report != nullptr ? 1 : 0;
        if (report) WxMetarDecode(report, &G_WptDb.metar);
    } else if (!G_Wx.bMetarRx) {
        G_WptDb.bMetarPage = 0;
    }
    // The main page counts too, so the footer's total and the knob's wrap
    // reach the last remark page.
    G_WptDb.nPageCount = 1 + G_WptDb.nRemarkPages + G_WptDb.nFreqPages + G_WptDb.bMetarPage + a[apt::kRunways];
}

void FormatLatLon(char* latText, char* lonText, int32_t size, const uint8_t* point) {
    const int32_t v[2] = {RecS32(point, 0), RecS32(point, 4)};
    char* out[2] = {latText, lonText};
    const char hemi[2][2] = {{'N', 'S'}, {'E', 'W'}};
    for (int i = 0; i < 2; ++i) {
        // Degrees and fraction from one rounded count, so 44.999996 carries to 45.
        const double deg = std::fabs(static_cast<double>(v[i]) / 262144.0);
        const int64_t total = static_cast<int64_t>(std::floor(deg * 100000.0 + 0.5));
        std::snprintf(out[i], static_cast<size_t>(size), "%c%3d.%05d", v[i] >= 0 ? hemi[i][0] : hemi[i][1],
                      static_cast<int>(total / 100000), static_cast<int>(total % 100000));
    }
}

void FormatFreq(uint32_t value, char* text) {
    char digits[12];
    const int n = std::snprintf(digits, sizeof digits, "%u", value);   // at most 10 digits
    int k = 0;
    for (int i = 0; i < n; ++i) {
        if (i == 3) text[k++] = '.';
        text[k++] = digits[i];
    }
    if (n <= 3) {
        text[k++] = '.';
        text[k++] = '0';
    }
    text[k] = '\0';
}

void SplitRunwayName(uint32_t nameIndex, char* end1, char* end2) {
    if (!end1 || !end2) return;
    const char* name = MapText10(nameIndex);
    const char* slash = std::strchr(name, '/');
    const size_t n = slash ? static_cast<size_t>(slash - name) : std::strlen(name);
    std::snprintf(end1, 11, "%.*s", static_cast<int>(n), name);
    std::snprintf(end2, 11, "%s", slash ? slash + 1 : "");
}

bool WptTextEmpty(const char* text) { return text[0] == '\0' || (text[0] == ' ' && text[1] == '\0'); }

void DrawInfoBox(const WptRect& r, const char* title) {
    const int32_t oy = static_cast<int32_t>(G_FlipCtl.nDrawPageY);
    SetDrawColor(0);
    GUI_FillRect(r.x0, r.y0 + oy, r.x1, r.y1 + oy);
    GUI_SetPenSize(1);
    SetDrawColor(31);
    GUI_DrawRect(r.x0, r.y0 + oy, r.x1, r.y1 + oy);
    if (title) {
        DrawTextF(31, 8, 1, (r.x0 + r.x1) / 2, r.y0 + 2, "%.40s", title);
        SetDrawColor(31);
        GUI_DrawHLine(r.y0 + 20 + oy, r.x0, r.x1);
    } else {
        GUI_DrawHLine(r.y0 + 24 + oy, r.x0, r.x1);
    }
}

int32_t MapDrawInfoBoxes() {
    const OffscreenBand band = BeginOffscreenBand();
    int32_t findPending = 0;
    const uint32_t flags = G_WptDb.nPageFlags;
    if (G_Nearest.nMode == 1) {
        if (flags & kWptInfoOpen) AirportInfoPage();
        else NearestAirportsPage(G_Nearest);
    } else if (flags & kWptFindOpen) {
        if (flags & kWptInfoOpen) AirportInfoPage();
        else findPending = FindPage();
    }
    EndOffscreenBand(band);
    return findPending;
}
