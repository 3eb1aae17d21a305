// The airport information box: a header that stays, then the main page,
// frequency pages, the METAR page, one page per runway and the remark
// pages, stepped with the knob; the runway diagram beside it.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/util.h"
#include "gui/gui.h"
#include "map/airports.h"
#include "map/mapframe.h"
#include "map/records.h"
#include "map/waypoints.h"
#include "ui/keys.h"
#include "ui/pages.h"
#include "ui/style.h"
#include "wx/wx.h"

namespace {
constexpr uint32_t kLabel = 14, kValue = 31;   // yellow labels, white values
constexpr int32_t kFreqBytes = 9;
constexpr uint32_t kFreqValue = 0, kFreqDesc = 4, kFreqTypeName = 6, kFreqType = 8;

const uint8_t* Apt() { return G_WptDb.abAirport; }
int32_t Right() { return kWptInfoRect.x1; }
int32_t Row(int32_t row) { return WptTextRow(row); }
uint32_t Runways() { return Apt()[apt::kRunways] < kWptRunways ? Apt()[apt::kRunways] : kWptRunways; }
uint32_t Freqs() { return Apt()[apt::kRec9Count] < kWptFreqs ? Apt()[apt::kRec9Count] : kWptFreqs; }

struct IdText {
    char s[kWptIdBytes + 1];
};
IdText AirportId() {
    IdText t{};
    std::memcpy(t.s, Apt() + apt::kId, kWptIdBytes);
    return t;
}

// The footer's text, right-aligned in the box's bottom corner.
constexpr int32_t kFooterTop = kWptInfoRect.y1 - 2 - 8;
int32_t FooterLeft() { return Right() - 3 - TextWidth(2, "Page 99/99"); }

// A value cut to what fits before `limit` (and to `most` characters).
void DrawFit(uint32_t colour, int32_t x, int32_t row, int32_t limit, const char* text, int32_t most) {
    const int32_t n = CharsInWidth(4, limit - x, text);
    DrawTextF(colour, 4, 3, x, Row(row), "%.*s", static_cast<int>(n < most ? n : most), text);
}

// A line's right end: the box's edge, or the footer on the bottom rows.
int32_t LineLimit(int32_t row) { return row + 13 > kFooterTop ? FooterLeft() - 4 : Right() - 3; }

void DrawFreqLine(uint32_t entry, int32_t x, int32_t row) {
    const uint8_t* f = G_WptDb.abFreqs[entry % kWptFreqs];
    char freq[12];
    FormatFreq(static_cast<uint32_t>(RecS32(f, kFreqValue)), freq);
    DrawTextF(kLabel, 4, 3, x, Row(row), "%.11s", MapText50(RecU16(f, kFreqTypeName)));
    DrawTextF(kValue, 4, 3, x + 80, Row(row), "%.15s", freq);
    DrawFit(kValue, x + 130, row, LineLimit(row), MapText40(RecU16(f, kFreqDesc)), 20);
}

// Identifier, the main frequency and the traffic pattern altitude.
void DrawHeader() {
    DrawInfoBox(WptDropRect(kWptInfoRect), nullptr);
    DrawTextF(kValue, 11, 15, 5, Row(341), "%.5s", AirportId().s);
    for (uint32_t i = 0; i < Freqs(); ++i) {
        const uint8_t* f = G_WptDb.abFreqs[i];
        if (f[kFreqType] < 4 || f[kFreqType] > 6) continue;
        char freq[12];
        FormatFreq(static_cast<uint32_t>(RecS32(f, kFreqValue)), freq);
        const int32_t x = DrawTextF(kLabel, 8, 18, 70, Row(347), "%.5s", MapText50(RecU16(f, kFreqTypeName)));
        const int32_t x2 = DrawTextF(kValue, 8, 18, x + 2, Row(347), "%.8s ", freq);
        DrawTextF(kValue, 2, 18, x2, Row(353), "%s", "MHz");
        break;
    }
    const int32_t elev = static_cast<int16_t>(RecU16(Apt(), apt::kElevation));
    const int32_t pattern = static_cast<int16_t>(RecU16(Apt(), apt::kPattern));
    // Laid out from the box's right edge, so five digits fit beside the label.
    char tpa[12];
    std::snprintf(tpa, sizeof tpa, "%5d ", elev + (pattern == -10000 ? 1000 : pattern));
    const int32_t ft = Right() - 3 - TextWidth(2, "FT");
    const int32_t value = ft - TextWidth(8, tpa);
    DrawTextF(kLabel, 8, 20, std::min<int32_t>(208, value), Row(347), "%s", "TPA: ");
    DrawTextF(kValue, 8, 18, value, Row(347), "%s", tpa);
    DrawTextF(kValue, 2, 18, ft, Row(351), "%s", "FT");
}

const char* Category(uint32_t flags, uint32_t* colour) {
    static const struct {
        uint32_t bit, colour;
        const char* name;
    } kCats[] = {{aptf::kVfr, 11, "VFR"}, {aptf::kMvfr, 5, "MVFR"}, {aptf::kIfr, 14, "IFR"}, {aptf::kLifr, 2, "LIFR"}};
    for (const auto& c : kCats)
        if (flags & c.bit) {
            *colour = c.colour;
            return c.name;
        }
    return nullptr;
}

void DrawMainPage() {
    const uint8_t* a = Apt();
    char name[apt::kNameBytes + 1] = {};
    std::memcpy(name, a + apt::kName, apt::kNameBytes);
    DrawTextF(kLabel, 4, 3, 5, Row(366), "%s", "NAME: ");
    DrawTextF(kValue, 4, 3, 65, Row(366), "%.15s", name);
    DrawTextF(kLabel, 4, 5, 210, Row(366), "%s", "ELEV: ");
    const int32_t x = DrawTextF(kValue, 4, 3, 210, Row(366), "%.5d ", static_cast<int16_t>(RecU16(a, apt::kElevation)));
    DrawTextF(kValue, 2, 18, x, Row(370), "%s", "FT");

    const char* city = MapCityName(RecU16(a, apt::kCity));
    const int32_t fit = CharsInWidth(4, Right() - 80, city);
    const char* state = MapStateCode(RecU16(a, apt::kState));
    DrawTextF(kLabel, 4, 3, 5, Row(381), "%s", "CITY,ST: ");
    if (!WptTextEmpty(city) || !WptTextEmpty(state))
        DrawTextF(kValue, 4, 3, 65, Row(381), "%.*s, %.2s", static_cast<int>(fit), city, state);
    const uint32_t flags = AirportFlags(a);
    uint32_t colour = 0;
    const char* cat = Category(flags, &colour);
    if (MetarCurrent() && G_WptDb.bMetarPage && (flags & aptf::kMetarPresent) && cat) {
        DrawTextF(kLabel, 4, 5, 210, Row(381), "%s", "WX: ");
        DrawTextF(colour, 4, 3, 210, Row(381), "%s", cat);
    }

    char fuel[20] = {};
    if (flags & 0x10) std::strncat(fuel, "100LL ", sizeof fuel - std::strlen(fuel) - 1);
    if (flags & 0x20) std::strncat(fuel, "MOGAS ", sizeof fuel - std::strlen(fuel) - 1);
    if (flags & 0x400) std::strncat(fuel, "JETA", sizeof fuel - std::strlen(fuel) - 1);
    DrawTextF(kLabel, 4, 3, 5, Row(396), "%s", "FUEL: ");
    if (fuel[0] == '\0') DrawTextF(kValue, 4, 3, 65, Row(396), "%s", "NONE");
    else DrawTextF(kValue, 4, 3, 65, Row(396), "%.*s", static_cast<int>(CharsInWidth(4, Right() - 65, fuel)), fuel);
    for (uint32_t i = 0; i < 3 && i < Freqs(); ++i) DrawFreqLine(i, 5, 411 + 15 * static_cast<int32_t>(i));
}

void DrawFreqPage(uint32_t page) {
    for (uint32_t i = 0; i < 6; ++i) {
        const uint32_t entry = 6 * page + 3 + i;
        if (entry >= Freqs()) break;
        DrawFreqLine(entry, 5, 366 + 15 * static_cast<int32_t>(i));
    }
}

void DrawRunwayPage(uint32_t r) {
    const uint8_t* w = G_WptDb.abRunways[r % kWptRunways];
    DrawTextF(kLabel, 4, 3, 5, Row(366), "%s", "Runway:");
    DrawTextF(kValue, 4, 3, 60, Row(366), "%.11s", MapText10(w[rwy::kName]));
    DrawTextF(kLabel, 4, 3, 120, Row(366), "%s", "Surface:");
    DrawFit(kValue, 200, 366, Right() - 3, MapText13(w[rwy::kSurface]), 13);
    DrawTextF(kLabel, 4, 3, 5, Row(381), "%s", "Width:");
    DrawTextF(kValue, 4, 3, 60, Row(381), "%3dft.", static_cast<int>(RecU16(w, rwy::kWidth)));
    DrawTextF(kLabel, 4, 3, 120, Row(381), "%s", "Length:");
    const uint16_t length = RecU16(w, rwy::kLength);
    if (length == 0) DrawTextF(kValue, 4, 3, 200, Row(381), "%s", "unknown");
    else DrawTextF(kValue, 4, 3, 200, Row(381), "%5dft.", static_cast<int>(length));
    const char* mark[2] = {MapText6(w[rwy::kMarking]), MapText6(w[rwy::kMarking + 1])};
    const char* ils[2] = {MapText11b(w[rwy::kIls]), MapText11b(w[rwy::kIls + 1])};
    if (WptTextEmpty(mark[0]) && WptTextEmpty(mark[1]) && WptTextEmpty(ils[0]) && WptTextEmpty(ils[1])) return;
    char end[2][11];
    SplitRunwayName(w[rwy::kName], end[0], end[1]);
    for (int e = 0; e < 2; ++e) {
        const int32_t x = e == 0 ? 15 : 130;
        DrawTextF(kValue, 4, 3, e == 0 ? 25 : 140, Row(396), "--%.5s--", end[e]);
        DrawTextF(kLabel, 4, 3, x, Row(411), "%s", "Markings:");
        DrawTextF(kValue, 4, 3, x + (e == 0 ? 55 : 80), Row(411), "%.6s", mark[e]);
        DrawTextF(kLabel, 4, 3, x, Row(426), "%s", "ILS:");
        DrawFit(kValue, x + (e == 0 ? 55 : 80), 426, e == 0 ? 127 : Right() - 3, ils[e], 11);
    }
}

// A fixed-width field of the decoded report, at most `most` characters,
// never read past its end.
template <size_t N>
int FieldLen(const char (&field)[N], size_t most) {
    return static_cast<int>(strnlen(field, N < most ? N : most));
}

// The METAR page's columns: the wind's left of the visibility's.
constexpr int32_t kWindX = 5, kVisiX = 120, kGap = 6;

// A copy of a field's first `most` characters (bounded by the field), so
// the width tests measure exactly what is drawn.
struct FieldText {
    char s[41];
};
template <size_t N>
FieldText FieldCopy(const char (&field)[N], size_t most) {
    static_assert(N < sizeof(FieldText::s), "field fits the copy");
    FieldText t{};
    std::memcpy(t.s, field, static_cast<size_t>(FieldLen(field, most)));
    return t;
}

// The wind and the visibility on their row. A wind too wide for its column
// ("21005G15KT 180V240") keeps its main group there and shows the variation
// after its label, so it never runs into the visibility; a main group that
// is itself too wide moves the visibility right.
void DrawWindAndVisibility(const WxMetarReport& m) {
    FieldText wind = FieldCopy(m.wind, 30);
    if (kWindX + TextWidth(9, wind.s) + kGap > kVisiX) {
        if (char* space = std::strchr(wind.s, ' ')) {
            *space = '\0';
            const int32_t x = TextWidth(4, "Wind: ");
            DrawTextF(kValue, 4, 3, kWindX + x, Row(366), "%s", space + 1);
        }
    }
    const int32_t windEnd = DrawTextF(kValue, 9, 3, kWindX, Row(381), "%s", wind.s);
    const int32_t visiX = std::max(kVisiX, windEnd + kGap);
    const FieldText visi = FieldCopy(m.visi, 19);
    const int32_t n = CharsInWidth(9, Right() - 3 - visiX, visi.s);
    DrawTextF(kValue, 9, 3, visiX, Row(381), "%.*s", static_cast<int>(n), visi.s);
}

// The cloud groups that fit whole in 19 characters and before the footer:
// a group cut short would read as another height ("BKN25" for BKN250).
void DrawClouds(const WxMetarReport& m) {
    FieldText clds = FieldCopy(m.clds, 19);
    const int32_t limit = LineLimit(437) - 45;
    if (m.clds[std::strlen(clds.s)] != '\0' && m.clds[std::strlen(clds.s)] != ' ') {
        if (char* space = std::strrchr(clds.s, ' ')) *space = '\0';
    }
    while (TextWidth(9, clds.s) > limit) {
        char* space = std::strrchr(clds.s, ' ');
        if (space == nullptr) break;
        *space = '\0';
    }
    DrawTextF(kValue, 9, 3, 45, Row(437), "%.*s", static_cast<int>(CharsInWidth(9, limit, clds.s)), clds.s);
}

void DrawMetarPage() {
    const IdText id = AirportId();
    if (std::strncmp(G_WptDb.metar.icao, id.s, 4) != 0) {
        if (const char* report = WxMetarFor(FindWaypointId(id.s))) WxMetarDecode(report, &G_WptDb.metar);
    }
    const WxMetarReport& m = G_WptDb.metar;
    DrawTextF(kLabel, 4, 3, kWindX, Row(366), "%s", "Wind:");
    DrawTextF(kLabel, 4, 3, kVisiX, Row(366), "%s", "Visibility:");
    DrawTextF(kValue, 4, 5, Right() - 5, Row(366), "%.*s", FieldLen(m.time, 12), m.time);
    DrawWindAndVisibility(m);
    DrawTextF(kLabel, 4, 3, 5, Row(399), "%s", "Baro:");
    DrawTextF(kLabel, 4, 3, 120, Row(399), "%s", "Temp/Dew:");
    if (m.baro[0] == 'A') DrawTextF(kValue, 9, 3, 5, Row(414), "%.2s.%.2s\"", m.baro + 1, m.baro + 3);
    else if (m.baro[0] == 'Q') DrawTextF(kValue, 9, 3, 5, Row(414), "%.4sMB", m.baro + 1);
    DrawTextF(kValue, 9, 3, 120, Row(414), "%.*s", FieldLen(m.temp, 19), m.temp);
    DrawTextF(kLabel, 4, 3, 5, Row(439), "%s", "Clouds:");
    DrawClouds(m);
}

void DrawRemarkPage(uint32_t page) {
    for (uint32_t i = 0; i < 6; ++i) {
        const uint32_t n = 5 * page + i;
        if (n >= G_WptDb.nRemarkLines || n >= kWptRemarkLines) break;
        const char* line = G_WptDb.aRemarkLines[n];
        const int32_t row = 366 + 13 * static_cast<int32_t>(i);
        if (line[0] == 1) {
            SetDrawColor(21);
            GUI_FillRect(2, WptFrameRow(row - 1), Right() - 2, WptFrameRow(row + 12));
        }
        DrawTextF(kValue, 4, 18, 5, Row(row), "%.80s", line + 1);
    }
}

// The page drawn for the list cursor; the runway shown, or -1.
int32_t DrawPage() {
    uint32_t index = 0;
    switch (AirportPageOf(G_WptDb.nListCursor, &index)) {
    case WptPage::Freq: DrawFreqPage(index); break;
    case WptPage::Metar: DrawMetarPage(); break;
    case WptPage::Runway: DrawRunwayPage(index); return static_cast<int32_t>(index);
    case WptPage::Remark: DrawRemarkPage(index); break;
    default: DrawMainPage(); break;
    }
    return -1;
}
}  // namespace

WptPage AirportPageOf(uint32_t c, uint32_t* index) {
    const uint32_t f = G_WptDb.nFreqPages, m = G_WptDb.bMetarPage;
    const uint32_t r = Runways(), p = G_WptDb.nRemarkPages;
    *index = 0;
    if (c >= 1 && c <= f) {
        *index = c - 1;
        return WptPage::Freq;
    }
    // A METAR page counted before the set aged out is not shown.
    if (m == 1 && MetarCurrent() && c == f + 1) return WptPage::Metar;
    if (c >= f + m + 1 && c <= f + m + r) {
        *index = c - f - m - 1;
        return WptPage::Runway;
    }
    if (c >= f + m + r + 1 && c <= f + m + r + p) {
        *index = c - f - m - r - 1;
        return WptPage::Remark;
    }
    return WptPage::Main;
}

void AirportInfoPage() {
    if (!(G_WptDb.nPageFlags & kWptInfoOpen)) return;
    if (G_WptDb.abAirport[apt::kRec9Count] > 200) G_WptDb.abAirport[apt::kRec9Count] = 0;
    AirportPagesCount();
    // Texts that run past the box's edge stay inside it.
    const GUI_Rect clip = {kWptInfoRect.x0, static_cast<int16_t>(WptFrameRow(kWptInfoRect.y0)), kWptInfoRect.x1,
                           static_cast<int16_t>(WptFrameRow(kWptInfoRect.y1))};
    GUI_SetClipRect(&clip);
    DrawHeader();
    const int32_t runway = DrawPage();
    DrawTextF(kLabel, 2, 11, Right() - 3, Row(kWptInfoRect.y1 - 2), "Page %2d/%2d",
              static_cast<int>(G_WptDb.nListCursor + 1), static_cast<int>(G_WptDb.nPageCount));
    GUI_SetClipRect(nullptr);
    RunwayDiagram(G_WptDb.abAirport, runway);
}

void WptPageOpen() {
    if (G_WptDb.nSelKind != kWptAirport || !MapLoaded() || !G_MapEnabled) return;
    G_WptDb.nPageFlags |= kWptInfoOpen;
    G_MenuState = G_MenuState == 63 ? 632 : 622;
    AirportPagesLoad();
    G_WptDb.nListCursor = 0;
}

void WptPageSelect() {
    if (!MapLoaded() || !G_MapEnabled) return;
    G_MenuState = 632;
    G_WptDb.nListCursor = G_WptDb.nFreqPages + 1;
}

void WptListStep(int32_t steps) {
    G_WptDb.nListCursor = static_cast<uint32_t>(
        WrapIndex(static_cast<int32_t>(G_WptDb.nListCursor), static_cast<int32_t>(G_WptDb.nPageCount), steps));
    G_MapPane.nRedraw = kMapFrameSkip;
}

void WptInfoKnob(int32_t delta) {
    if (MapLoaded() && G_MapEnabled) WptListStep(delta);
}
