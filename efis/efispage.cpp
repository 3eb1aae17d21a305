// The EFIS page composition: places and orders the instruments of the
// pane, keeps the static background at frame row 960 and the two saved
// screen areas that keep the overlays clean.
#include "efis/efis.h"

#include "core/boot.h"
#include "core/irq.h"
#include "core/timefmt.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "efis/attitude.h"
#include "efis/boxes.h"
#include "efis/efisdata.h"
#include "efis/efisview.h"
#include "efis/hsi.h"
#include "efis/tapes.h"
#include "engine/bargauge.h"
#include "engine/engine.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "gui/lcd.h"
#include "nav/navsrc.h"
#include "storage/nvram.h"
#include "ui/keys.h"
#include "ui/pages.h"

namespace {
EfisTraceFn s_trace = nullptr;

void Trace(EfisElem e) {
    if (s_trace) s_trace(e);
}

bool Installed(int stream) { return G_NetStreamCfg[stream].INST != 0; }

// The saved areas' sizes and places (pane coordinates).
constexpr int32_t kAoaAreaW = 42, kAoaAreaH = 75, kAoaAreaDx = 94, kAoaAreaDy = 49;
constexpr int32_t kVdiAreaW = 24, kVdiAreaH = 140, kVdiAreaDx = 112, kVdiAreaDy = 70;

constexpr uint8_t kGpsFlagsBVertical = 1u << 3;
constexpr uint8_t kRadioLocalizer = 1u << 2;

const NavSrcRec* Slot(uint8_t slot) { return slot < kNavNoneSlot ? &G_NavSrc.rec[slot] : nullptr; }

// Step 3's conditions: the course source has a vertical deviation to show.
bool GpsVertical(const NavSrcRec& r) {
    return r.nType == 1 && (r.nGpsFlagsB & kGpsFlagsBVertical) && (r.nGpsFlagsA & kNavGpsVertical);
}
bool RadioLocalizer(const NavSrcRec& r) { return r.nType == 2 && (r.nRadioFlagsA & kRadioLocalizer); }

bool MemDevice() { return G_EfisLayout.nFlagA == 1; }

bool AoaShown() { return Installed(kStreamAoa) && G_AoaCfg.nEnable == 1 && NvGetU32(kNvAoaGaugeOn) == 1; }

// A surface of the screen area at pane (x, y) on the page being drawn; 0
// when the pool has no room, and then the area is neither saved nor restored.
int16_t SaveArea(int32_t x, int32_t y, int32_t w, int32_t h) {
    const int16_t s = GUI_CreateSurface(x, y + EfisPageY(), w, h);
    if (s != 0) GUI_CopyScreenToSurface(s);
    return s;
}

void RestoreArea(int16_t* s, int32_t x, int32_t y) {
    if (*s == 0) return;
    GUI_CopySurfaceToScreen(*s, x, y + EfisPageY());
    GUI_DeleteSurface(*s);
    *s = 0;
}

void FreeArea(int16_t* s) {
    if (*s != 0) GUI_DeleteSurface(*s);
    *s = 0;
}

void ClockLine() {
    const PaneRecord& p = G_EfisLayout;
    if (G_ClockEdit == 20) {
        Trace(EfisElem::Timer);
        FormatTimerDisplay(p.x0 + 3, p.y0 + 3);
    } else {
        Trace(EfisElem::Clock);
        FormatClockLine(p.x0 + 3, p.y0 + 3);
    }
}

// The background copy: its width and height are the first rectangle's x1
// and y1, as the stored layouts have always used them.
void CopyStatic(uint16_t mode) {
    const PaneRecord& p = G_EfisLayout;
    const int32_t w = p.pRect ? p.pRect->x1 : p.x1, h = p.pRect ? p.pRect->y1 : p.y1;
    BltCopyRect(p.x0, p.y0 + kEfisStaticY, p.x0, p.y0 + EfisPageY(), w, h, mode);
}

void FlapTrim() {
    Trace(EfisElem::FlapGauge);
    DrawFlapGauge();
    Trace(EfisElem::TrimGauge);
    DrawTrimGauge();
}

// Alignment 2 is the graphics library's centring (style 1 here): right
// aligned at x0 + 85 the message would run off the pane's left edge.
void MagMessages() {
    const PaneRecord& p = G_EfisLayout;
    if (p.x1 != 639 || NvGetU32(kNvAhrsDebug) != 0) return;
    const int32_t mag = AhrsMagState();
    if (mag == 1) {
        Trace(EfisElem::MagAlign);
        DrawTextF(15, 14, 1, p.x0 + 85, p.y1 - 90, "MAGNETOMETER ALIGN");
    } else if (mag == 2) {
        Trace(EfisElem::MagError);
        DrawTextF(15, 14, 1, p.x0 + 85, p.y1 - 81, "MAGNETOMETER ERROR");
    }
}

void StaticBackground() {
    const EfisView& v = G_EfisView;
    // The panes laid out after this one draw with the colours and clip they
    // found: selecting the screen remaps a background index set directly.
    struct Restore {
        uint32_t c, bk;
        GUI_Rect clip;
        ~Restore() {
            GUI_SetColorIndex(c);
            GUI_SetBkColorIndex(bk);
            GUI_SetClipRect(&clip);
        }
    } restore{GUI_GetColorIndex(), GUI_GetBkColorIndex(), GUI_DrawState.ClipRect};
    GUI_SelectScreen();
    // Only what the frame copies is written, so that a pane beside or below
    // keeps its own background.
    const PaneRecord& p = G_EfisLayout;
    const int32_t w = p.pRect ? p.pRect->x1 : p.x1, h = p.pRect ? p.pRect->y1 : p.y1;
    const int32_t x1 = v.x0 + w - 1, y1 = v.y0 + h - 1 + kEfisStaticY;
    if (v.bAirPane) {
        // The air-data pane is copied plainly: a black ground with its title.
        GUI_SetColorIndex(kEfBlack);
        GUI_FillRect(v.x0, v.y0 + kEfisStaticY, x1, y1);
        DrawTextF(kEfGrey, 5, 17, v.x1 - 30, v.y0 + 3 + kEfisStaticY - EfisPageY(), "AIR DATA");
        return;
    }
    // Transparent everywhere but the fixed marks: the attitude shows through.
    GUI_SetColorIndex(kLcdTransparentKey);
    GUI_FillRect(v.x0, v.y0 + kEfisStaticY, x1, y1);
    const GUI_Rect clip = EfisClipPane(kEfisStaticY);
    DrawAttitudeStatic(kEfisStaticY);
    EfisClipRestore(clip);
}
}  // namespace

void SetEfisTrace(EfisTraceFn fn) { s_trace = fn; }

bool AoaIndicatorDue() {
    return AoaShown() && (NvGetU32(kNvAoaDeclutterOn) != 1 || G_Aoa.nAoa >= G_AoaCfg.nDeclutter);
}

void EfisScreenInit() {
    if (!G_EfisLayout.pRect) return;
    EfisUseLayout();
    InitAirspeedBands();
    InitAirspeedScale();
    InitAltitudeTape();
    InitTapeLabels();
    InitVsiTable();
    StaticBackground();
}

void DrawEfisStatic() {
    if (!G_EfisLayout.pRect) return;
    EfisUseLayout();
    StaticBackground();
}

void DrawEfisBackground() {
    DrawCompassRose();
}

void DrawEfisBackground9() {
    // Page 9 shares the pane's lower edge with the engine bars: a rule
    // keeps them apart.
    DrawCompassRose();
    const EfisView& v = G_EfisView;
    GUI_SetColorIndex(kEfGrey);
    GUI_DrawHLine(v.y1 + EfisPageY(), v.x0, v.x1);
}

void DrawEfisPage() {
    if (!G_EfisLayout.pRect) return;
    EfisUseLayout();
    const PaneRecord& p = G_EfisLayout;
    const bool mem = MemDevice();
    const NavSrcHeader& hdr = G_NavSrc.hdr;
    const NavSrcRec* crs = Slot(hdr.nCrsSlot);
    const NavSrcRec* brg = Slot(hdr.nBrgSlot);

    Trace(EfisElem::Attitude);
    DrawAttitude();
    GUI_SelectScreen();
    const GUI_Rect clip = EfisClipPane(EfisPageY());

    int16_t areaA = 0, areaB = 0;
    bool aoaSaved = false;
    if (Installed(kStreamAoa) && G_AoaCfg.nEnable == 1 && mem) {
        Trace(EfisElem::SaveAoaArea);
        areaA = SaveArea(p.x0 + kAoaAreaDx, p.y0 + kAoaAreaDy, kAoaAreaW, kAoaAreaH);
        aoaSaved = true;
    }
    const int32_t vdiX = p.x1 - kVdiAreaDx, vdiY = p.nCenterY - kVdiAreaDy;
    if (mem && crs && (GpsVertical(*crs) || RadioLocalizer(*crs))) {
        Trace(EfisElem::SaveVdiArea);
        areaB = SaveArea(vdiX, vdiY, kVdiAreaW, kVdiAreaH);
    }

    CopyStatic(kBltCopyTrans);
    if (G_CurPage == 9) {
        Trace(EfisElem::Background9);
        DrawEfisBackground9();
    } else {
        Trace(EfisElem::Background);
        DrawEfisBackground();
    }

    if (Installed(kStreamAhrs)) {
        Trace(EfisElem::GMeter);
        DrawGMeter();
        Trace(EfisElem::SlipBall);
        DrawSlipBall();
    }
    const bool oatOn = G_InstCfg[kInstOat].nEnable == 1;
    if (Installed(kStreamAir)) {
        Trace(EfisElem::AltitudeTape);
        DrawAltitudeTape();
        Trace(EfisElem::AltitudeBox);
        DrawAltitudeBox();
        Trace(EfisElem::AirspeedTape);
        DrawAirspeedTape();
        if (oatOn) {
            Trace(EfisElem::Oat);
            DrawOat();
        }
    } else if (Installed(kStreamEngine) && oatOn) {
        Trace(EfisElem::Oat);
        DrawOat();
    }

    if (brg && brg->nType == 1) {
        Trace(EfisElem::GpsInfoBox);
        DrawGpsInfoBox();
    } else if (brg && brg->nType == 2) {
        Trace(EfisElem::VorInfoBox);
        DrawVorInfoBox();
    }

    if (crs && crs->nType == 1) {
        if (mem && GpsVertical(*crs)) {
            Trace(EfisElem::RestoreVdiArea);
            RestoreArea(&areaB, vdiX, vdiY);
        }
        Trace(EfisElem::HsiGps);
        DrawHsiGps();
    } else if (crs && crs->nType == 2) {
        if (mem && (crs->nRadioFlagsA & kRadioLocalizer)) {
            Trace(EfisElem::RestoreVdiArea);
            RestoreArea(&areaB, vdiX, vdiY);
        }
        Trace(EfisElem::HsiVor);
        DrawHsiVor();
    }
    // A saved strip that no step restored is still given back to the pool.
    FreeArea(&areaB);

    if (hdr.nFlags0 & kNavHdrHdgSteer) {
        Trace(EfisElem::BearingPointer);
        DrawBearingPointer();
    }

    if (AoaIndicatorDue()) {
        if (mem) {
            Trace(EfisElem::RestoreAoaArea);
            RestoreArea(&areaA, p.x0 + kAoaAreaDx, p.y0 + kAoaAreaDy);
        }
        Trace(EfisElem::AoaIndicator);
        DrawAoaIndicator();
    }
    // Surface A is freed whenever it was made, shown or not.
    if (aoaSaved) {
        Trace(EfisElem::FreeAoaArea);
        FreeArea(&areaA);
    }

    if (G_CurPage != 6 && Installed(kStreamEngine) && static_cast<int32_t>(G_EnginePane.nState) > 0) FlapTrim();
    ClockLine();
    if (!mem && NvGetU32(kNvAhrsDebug) == 1) {
        G_NavSrc.hdr.nFlags0 &= static_cast<uint8_t>(~(kNavHdrCrsGps | kNavHdrCrsRadio));
        Trace(EfisElem::AhrsDiag);
        DrawAhrsDiagPage();
    }
    if (NvGetU32(kNvWindsGaugeOn) == 1) {
        Trace(EfisElem::Wind);
        DrawWind();
    }
    if (NvGetU32(kNvTargetType) != 0) {
        Trace(EfisElem::ClampedMarker);
        DrawAdiClampedMarker();
    }
    const int32_t standby = AhrsAttitudeState();
    if (standby >= 1 && standby <= 4) {
        Trace(EfisElem::StandbyBox);
        DrawStandbyBox();
    }
    MagMessages();
    Trace(EfisElem::ApModeBox);
    DrawApModeBox();
    EfisClipRestore(clip);
}

void DrawAirDataPane() {
    if (!G_EfisLayout.pRect) return;
    EfisUseLayout();
    GUI_SelectScreen();
    Trace(EfisElem::Background);
    CopyStatic(kBltCopy);
    const GUI_Rect clip = EfisClipPane(EfisPageY());
    // The copy stops one short of the pane's last column and row; cleared
    // here, they cannot keep what another screen left on this page.
    const PaneRecord& p = G_EfisLayout;
    const int32_t py = EfisPageY(), w = p.pRect->x1, h = p.pRect->y1;
    GUI_SetColorIndex(kEfBlack);
    GUI_FillRect(p.x0 + w, p.y0 + py, p.x1, p.y1 + py);
    GUI_FillRect(p.x0, p.y0 + h + py, p.x1, p.y1 + py);
    Trace(EfisElem::AltitudeCompact);
    DrawAltitudeCompact();
    Trace(EfisElem::TasBox);
    DrawTasBox();
    Trace(EfisElem::VsiTape);
    DrawVsiTape();
    if (Installed(kStreamEngine) && G_CurPage != 14) FlapTrim();
    if (AoaShown()) {
        const bool declutter = NvGetU32(kNvAoaDeclutterOn) == 1;
        if (!declutter || G_Aoa.nAoa > G_AoaCfg.nDeclutter) {
            Trace(EfisElem::AoaIndicator);
            DrawAoaIndicator();
        }
    }
    if (G_InstCfg[kInstOat].nEnable == 1) {
        Trace(EfisElem::Oat);
        DrawOat();
    }
    ClockLine();
    EfisClipRestore(clip);
}
