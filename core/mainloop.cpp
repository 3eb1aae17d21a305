#include "core/mainloop.h"

#include <cstring>
#include <initializer_list>

#include "core/adc.h"
#include "core/alarm.h"
#include "core/battery.h"
#include "core/boot.h"
#include "core/discrete.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "core/util.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "efis/efis.h"
#include "engine/engine.h"
#include "engine/fuelcomp.h"
#include "engine/instrument.h"
#include "engine/pulse.h"
#include "map/map.h"
#include "nav/autopilot.h"
#include "nav/navsrc.h"
#include "net/net.h"
#include "platform/hw.h"
#include "setup/setup.h"
#include "storage/datastore.h"
#include "storage/enginelog.h"
#include "storage/nvram.h"
#include "storage/screendump.h"
#include "storage/sdcard.h"
#include "ui/keys.h"
#include "ui/pages.h"
#include "ui/splash.h"
#include "ui/statusbar.h"
#include "ui/buttons.h"
#include "ui/knob.h"
#include "wx/wx.h"

// Period stamps and the loop's own state; all restart at each entry.
struct LoopState {
    uint32_t nAdc, nAir, nAhrs, nEngine, nTraffic, nNavSlot, nNavRec, nFrame, nSlowRec, nAlarm;
    uint32_t nLastSecond;
    uint32_t nDataLogFlash, nDataLogSd;
    int32_t  nNavStream;        // the navigation stream served last (4..6)
    uint32_t nNavPhase;         // 0..2 of the 67 ms records
    uint32_t bEngExpired;
    uint32_t bFrameBuilt;       // an engine data frame was built since entry
    uint32_t nNvSeconds;
    uint32_t nSecondsDone;      // G_UptimeSec when the once-a-second work last ran
};
static LoopState s_loop;

// Passes without a frame; kept across entries like the target's initialised storage.
static uint32_t s_framelessPasses = 1;

static uint32_t Now() { return ReadOsTimer(); }

// True (and restamped) once more than `period` ticks passed since the stamp.
static bool Due(uint32_t& stamp, uint32_t period) {
    const uint32_t now = Now();
    if (!TicksElapsed(now, stamp, period)) return false;
    stamp = now;
    return true;
}

static bool IsRealPort(uint32_t port) { return port < static_cast<uint32_t>(kSerialPorts); }

static bool PortHasFunction(uint32_t port, uint32_t function) {
    return IsRealPort(port) && G_Serial[port].nFunction == function;
}

static uint32_t OwnIp() {
    return uint32_t{G_OwnIp[0]} | uint32_t{G_OwnIp[1]} << 8 | uint32_t{G_OwnIp[2]} << 16 | uint32_t{G_OwnIp[3]} << 24;
}

static void SendUserEvent(uint32_t code, uint32_t a0, uint32_t a1, uint32_t a2 = 0, uint32_t a3 = 0) {
    G_RemoteUserDat.nCode = code;
    G_RemoteUserDat.nArg[0] = a0;
    G_RemoteUserDat.nArg[1] = a1;
    G_RemoteUserDat.nArg[2] = a2;
    G_RemoteUserDat.nArg[3] = a3;
    NET_SendUdpType(9);
}

static bool PageIn(int32_t page, std::initializer_list<int32_t> pages) {
    for (int32_t p : pages)
        if (p == page) return true;
    return false;
}

static bool Installed(int stream) { return G_NetStreamCfg[stream].INST != 0; }

// ---- every pass --------------------------------------------------------------

static void KeysPending(bool withKnob1) {
    if (G_KeyEvent != 0 || G_Knob0.nDelta != 0 || (withKnob1 && G_Knob1.nDelta != 0)) MainKeyHandler();
}

// Only the frames present at the start of the pass: a flood cannot starve the loop.
static void NetworkReceive() {
    if (G_NetEnable == 0) return;
    const uint32_t n = StepsBetween(G_NetRing.nRxRd, G_NetRing.nRxWr, kNetRxSlots);
    if (n > 50) RamLogPrintf("Net: RX pop %d pkts @%s\n", static_cast<int>(n), FormatTime(4));
    for (uint32_t i = 0; i < n && G_NetRing.nRxRd != G_NetRing.nRxWr; ++i) {
        if (G_NetRing.nRxRd >= kNetRxSlots) G_NetRing.nRxRd = 0;
        NET_ProcessRx(G_NetRing.abRx[G_NetRing.nRxRd]);
        G_NetRing.nRxRd = (G_NetRing.nRxRd + 1) % kNetRxSlots;
    }
    TCP_Tick();
}

static void SerialPortsService() {
    for (uint32_t p = 0; p < static_cast<uint32_t>(kSerialPorts); ++p) {
        SerialPort& port = G_Serial[p];
        if (port.nFunction == 0) continue;
        if (port.bRxPending == 1) {
            port.bRxPending = 0;
            if (port.fpFrame) port.fpFrame(p);
        }
        if (port.bTxReady == 1) {
            port.bTxReady = 0;
            SerialTxService(p);
        }
        if (port.nFunction == 5 && Due(port.nLastArincTx, kArincPeriod)) SendArincFrame(p);
    }
}

// ---- the periodic slots --------------------------------------------------------

static void AirdataSlot() {
    if (G_AirData.nFresh > 0) G_AirData.nFresh = static_cast<uint8_t>(G_AirData.nFresh - 1);
    const uint32_t src = G_NetStreamCfg[kStreamAir].DSRC;
    if (src == 0) AirdataSampleStep();
    else if (src == 3 && (G_DemoFlags & kDemoAir)) DemoAirdataStep();
}

static void AhrsSlot() {
    if (G_NetStreamCfg[kStreamAhrs].DSRC == 3) {
        if (G_DemoFlags & kDemoAhrs) DemoAhrsStep();
    } else {
        CheckAhrsStatus();
    }
}

static void EngineSlot() {
    switch (G_NetStreamCfg[kStreamEngine].DSRC) {
    case 0:
    case 1:
        UpdateInstReadingsStep();
        CalcFuelComputer();
        break;
    case 2:
        CalcFuelComputer();
        break;
    case 3:
        if (G_DemoFlags & kDemoEngine) {
            DemoEngineStep();
            CalcFuelComputer();
        }
        break;
    default:
        break;
    }
    if (G_EngFresh > 0) {
        G_EngFresh -= 1;
        s_loop.bEngExpired = 1;
    } else if (s_loop.bEngExpired) {
        s_loop.bEngExpired = 0;
        ClearEngineReadings();
    }
}

static bool NavFunction(uint32_t function) {
    switch (function) {
    case 2: case 4: case 5: case 6: case 8: case 14: case 19: case 22: return true;
    default: return false;
    }
}

static void NavNetworkTimeouts(int32_t stream, int32_t slot) {
    NavSrcRec& rec = G_NavSrc.rec[slot];
    const uint32_t now = Now();
    if ((rec.nGpsFlagsA & kNavGpsValid) && TicksElapsed(now, rec.nGpsStamp, kNavGpsTimeout)) {
        RamLogPrintf("GPS[%d]: Timeout, Memset @%s\n", static_cast<int>(stream), FormatTime(4));
        ClearNavPart(slot, kNavGpsPartAt, kNavGpsPartBytes);
        rec.nGpsStamp = now;
        rec.nCdiFullScale = static_cast<uint8_t>(GetCdiScale(rec.nGpsFlagsA));
        G_RedrawReq = 1;
        G_NavSrc.hdr.nFlags1 |= kNavHdrChanged;
    }
    if ((rec.nRadioFlagsA & kNavRadioValid) && TicksElapsed(now, rec.nRadioStamp, kNavGpsTimeout)) {
        RamLogPrintf("VOR[%d]: Timeout, Memset @%s\n", static_cast<int>(stream), FormatTime(4));
        ClearNavPart(slot, kNavRadioPartAt, kNavRadioPartBytes);
        rec.nRadioStamp = now;
        G_RedrawReq = 1;
        G_NavSrc.hdr.nFlags1 |= kNavHdrChanged;
    }
    if (rec.nRouteCount != 0 && TicksElapsed(now, rec.nRouteStamp, kNavRouteTimeout)) {
        RamLogPrintf("Route[%d]: Timeout, MemSet @%s\n", static_cast<int>(stream), FormatTime(4));
        ClearNavPart(slot, kNavRoutePartAt, kNavRoutePartBytes);
        rec.nRouteStamp = now;
    }
}

// One of the navigation streams 4, 5, 6 in turn. Ports above 4 (5 = none)
// are no serial port: only the network side of such a slot runs.
static void NavSlot() {
    s_loop.nNavStream = (s_loop.nNavStream >= kStreamNav1 + 2 || s_loop.nNavStream < kStreamNav1) ? kStreamNav1
                                                                                                 : s_loop.nNavStream + 1;
    const int32_t s = s_loop.nNavStream;
    const uint32_t p = G_NavSrc.hdr.nPort[s - kStreamNav1];
    if (p > 8) return;
    NetStreamCfg& cfg = G_NetStreamCfg[s];
    const int32_t slot = s - kStreamNav1;
    NavSrcRec& rec = G_NavSrc.rec[slot];
    const bool serial = IsRealPort(p);
    switch (cfg.DSRC) {
    case 1:
        if (serial && NavFunction(G_Serial[p].nFunction)) {
            UpdateNavSrc(static_cast<int32_t>(p));
            if (cfg.NET != 1) cfg.NET = 1;
        }
        break;
    case 3:
        if (G_DemoFlags & kDemoNav) DemoNavCtrl(p);
        if (serial && G_Serial[p].nFunction != 0 && G_Serial[p].nRxCount == 1) cfg.DSRC = 1;
        break;
    case 2:
        if (serial && G_Serial[p].nRxCount == 1 && NavFunction(G_Serial[p].nFunction)) {
            cfg.DSRC = 1;
            DebugPrintf("DEBUG: Serial Data Recvd on Port:%d switch to SERIAL\n", static_cast<int>(p));
        }
        NavNetworkTimeouts(s, slot);
        break;
    default:
        break;
    }
    if (serial && G_Serial[p].nRxCount == 1) G_Serial[p].nRxCount = 0;
    const bool changed = (G_NavSrc.hdr.nFlags1 & kNavHdrChanged) != 0;
    if (!changed) return;   // nothing new from the sources: nothing to follow
    G_NavSrc.hdr.nFlags1 &= static_cast<uint8_t>(~kNavHdrChanged);
    ApUpdateNav();
    if (p == G_NavSrc.hdr.MAP_LATLON_PORT) {
        CalcWind();
        SnapshotFuelState();
        NavUpdate();
        if (Installed(kStreamMap)) TrackAddPoint(rec.fLat, rec.fLon);
    }
}

static void NavRecordsSlot() {
    switch (s_loop.nNavPhase) {
    case 0:
        if (G_NetStreamCfg[kStreamNav1].NET == 1) NET_SendUdpType(14);
        if (G_NetStreamCfg[kStreamTraffic].NET == 1) NET_SendUdpType(19);
        break;
    case 1:
        if (G_NetStreamCfg[kStreamNav1 + 1].NET == 1) NET_SendUdpType(15);
        break;
    default:
        if (G_NetStreamCfg[kStreamNav1 + 2].NET == 1) NET_SendUdpType(16);
        break;
    }
    s_loop.nNavPhase = (s_loop.nNavPhase + 1) % 3;
}

// A new frame every second send, and one before the very first send.
static void EngineFrameSlot() {
    const uint32_t port = G_EngFramePort;
    if (!PortHasFunction(port, 6) || !Due(G_EngineDataFrame.nStamp, kEngFramePeriod)) return;
    if (G_EngineDataFrame.nRebuild == 1 || !s_loop.bFrameBuilt) {
        G_EngineDataFrame.nRebuild = 0;
        BuildEngineDataMsg();
        s_loop.bFrameBuilt = 1;
    } else {
        G_EngineDataFrame.nRebuild = 1;
    }
    SerialWrite(port, G_EngineDataFrame.abFrame, static_cast<int32_t>(kEngFrameBytes));
}

static void EngineCsvSlot() {
    const uint32_t port = G_EngCsvPort;
    if (!PortHasFunction(port, 13)) return;
    const SerialRing& tx = G_SerialBuf[port].tx;
    if (tx.nWr == tx.nRd && TicksElapsed(Now(), tx.nLastTxTime, kCsvPeriod)) SendEngineCsvData();
}

static void ClockSync() {
    if (G_ClockSyncReq != 1) return;
    G_ClockSyncReq = 0;
    NET_SendUdpType(10);
    SendUserEvent(11, static_cast<uint32_t>(static_cast<int32_t>(G_UtcOffset)), 0);
}

// ---- the frame block -------------------------------------------------------------

static void LinkRecords() {
    const bool slow = Due(s_loop.nSlowRec, kSlowRecPeriod);
    for (int n = 0; n < kNetStreams; ++n) {
        if (G_NetStreamCfg[n].NET != 1) continue;
        switch (n) {
        case kStreamAir:
            NET_SendUdpType(1);
            break;
        case kStreamAhrs:
            NET_SendUdpType(2);
            if (slow) NET_SendUdpType(7);
            break;
        case kStreamAoa:
            NET_SendUdpType(8);
            break;
        case kStreamEngine: {
            NET_SendUdpType(3);
            const InstReading& r = G_InstReading[kInstEngineMsg];
            SendUserEvent(33, kInstEngineMsg, static_cast<uint32_t>(r.nValue), static_cast<uint32_t>(r.nValue2),
                          r.bValid);
            if (slow) NET_SendUdpType(4);
            break;
        }
        default:
            break;
        }
    }
    if (G_LinkRec22Done == 0) NET_SendUdpType(22);
}

static void DrawPanes() {
    const int32_t page = G_CurPage;
    if (Installed(kStreamMap) && PageIn(page, {5, 6, 7, 8, 15, 16, 33, 37})) MapPageRun(0);
    if (Installed(kStreamAir) && PageIn(page, {4, 14, 32, 36})) DrawAirDataPane();
    if (Installed(kStreamAhrs) && PageIn(page, {2, 3, 5, 6, 9, 10, 13, 17, 19, 30, 34})) DrawEfisPage();
    if (Installed(kStreamEngine) && PageIn(page, {1, 3, 4, 6, 7, 9, 10, 12, 14, 16, 19, 20, 31, 35}))
        DrawEngineGauges();
    if (page >= 10 && page <= 16) DrawAuxPage();
    else if (page == 17) MagAlignProcedure();
    else if (page >= 30 && page <= 33) PageListMenu();
    else if (page >= 34 && page <= 37) KnobListMenu();
    if (Installed(kStreamMap) && page >= 5 && page <= 8) MapBlitInfoBoxes();
    if (G_DiscreteIn.nState != 0 && PageIn(page, {1, 2, 3, 4, 5, 6, 9, 19})) DrawDiscreteInputs();
}

static void FrameBlock() {
    if (G_NetEnable) LinkRecords();
    WxRecvTask();
    if (G_CurPage == kPageSplash) SplashScreen();
    if (G_WptDb.nPageFlags & kWptChartView) ChartPageDraw();
    else DrawPanes();
    CheckBattery();
    if (G_RedrawReq == 1) UpdateSoftKeys();
    DrawStatusBar();
    G_FlipCtl.nFlipReq = 1;
    G_FlipCtl.nFlipHold = 0;
}

static void FramelessPass() {
    if (s_framelessPasses % 10 == 0) {
        s_framelessPasses = 1;
        MapQueueProcess();
    }
    s_framelessPasses += 1;
}

// ---- once a second ----------------------------------------------------------------

static void FiveMinuteLine() {
    if (G_DateTime.nSeconds != 0 || G_DateTime.nMinutes % 5 != 0) return;
    const int bv = G_InstReading[kInstBattVolts].nValue;
    const int t1 = G_InstAd[kInstSensorTemp].nAdValue;
    const int t2 = G_InstAd[kInstThermoTemp].nAdValue;
    static const char kLine[] = "TIME:%s, BV:%d.%0dV, T1:%d, T2:%d\n";
    RamLogPrintf(kLine, FormatTime(6), bv / 10, bv % 10, t1, t2);
    DebugPrintf(kLine, FormatTime(6), bv / 10, bv % 10, t1, t2);
}

static void LeaveSplashBySkip() {
    if (G_SkipLiability && G_UptimeSec > 5 && G_CurPage == kPageSplash && G_KeyEvent == 0) {
        G_SkipLiability = 0;
        G_KeyEvent = 3;
        MainKeyHandler();
    }
}

static void DemoIdle() {
    if (!(G_DemoFlags & kDemoAll)) return;
    if (!G_DemoIdleReq && G_UptimeSec - G_LastKeySec <= 120) return;
    G_LastKeySec = G_UptimeSec;
    G_DemoIdleReq = 0;
    if (G_CurPage == kPageSplash) G_KeyEvent = 3;
    if (NvGetU32(kNvDimPercent) < 100) {
        DebugPrintf("Resetting Dim Level to 100\n");
        NvSetU32(kNvDimPercent, 100);
        uint8_t dim = 100;
        WriteClockMem(&dim, 28, 1);
        UpdateSoftKeys();
        G_RedrawReq = 1;
    }
    const bool apDirectTo = (G_WptDb.nPageFlags & kWptGoto) && G_NVRam[kNvNavMode] == 2 && G_Autopilot.bOutput;
    if ((G_DemoFlags & kDemoNav) && !apDirectTo) RestartDemoNav();
}

static void DiscreteCounters() {
    for (int i = 0; i < 2; ++i) {
        DiscreteInput& in = G_DiscreteIn.input[i];
        if (in.nMode != 2) continue;
        in.nCount = (G_DiscreteIn.nState & (1u << i)) ? in.nCount + 1 : 0;
    }
}

static void SerialOutputs() {
    for (uint32_t p = 1; p < static_cast<uint32_t>(kSerialPorts); ++p) {
        if (p == 1 && NvGetU32(kNvSerialDebugOn) != 0) continue;
        const uint32_t f = G_Serial[p].nFunction;
        if (f > 22) continue;
        if (f == 3 || (f >= 15 && f <= 18)) {
            if (G_NetStreamCfg[kStreamAir].DSRC == 0) SendAltitudeOutput(p);
        } else if (f == 14 || f == 22) {
            SendAviationOutput(p);
        } else if (f == 8 && Installed(kStreamEngine)) {
            SerialWrite(p, FuelDataMsg, kFuelDataMsgBytes);
        }
    }
}

static void EngineSecond() {
    if (!Installed(kStreamEngine)) return;
    if (G_NetStreamCfg[kStreamEngine].NET == 2) {
        LogEngineStartStop();
        return;
    }
    UpdateEngineTimers();
    LogEngineStartStop();
    const int shown[] = {kInstElevTrim, kInstAilTrim, kInstFlapAng};
    int32_t sum = 0;
    bool option2 = false;
    for (int i : shown) {
        if (G_InstReading[i].nValue2 > 0) G_InstReading[i].nValue2 -= 1;
        sum += G_InstReading[i].nValue2;
        option2 = option2 || G_InstCfg[i].nGaugeType == 2;
    }
    G_EnginePane.nState = option2 ? 1u : static_cast<uint32_t>(sum);
}

static int32_t Scaled10k(float degrees) {
    const float v = degrees * 10000.0f;
    return static_cast<int32_t>(v < 0 ? v - 0.5f : v + 0.5f);
}

static const NavSrcRec* MapGpsSource() {
    const uint32_t slot = G_NavSrc.hdr.nMapSrcSlot;
    return slot < static_cast<uint32_t>(kNavSlots) ? &G_NavSrc.rec[slot] : nullptr;
}

// Both positions in degrees x 10000, so the two scales compare.
static void LastPosition() {
    const NavSrcRec* src = MapGpsSource();
    if (!src || !src->bInUse || !NavHasPosition(*src) || (G_DemoFlags & kDemoNav)) return;
    const int32_t lat = Scaled10k(src->fLat), lon = Scaled10k(src->fLon);
    const int32_t dLat = lat - Scaled10k(NvGetF32(kNvLastLatitude));
    const int32_t dLon = lon - Scaled10k(NvGetF32(kNvLastLongitude));
    if (dLat > 2 || dLat < -2 || dLon > 2 || dLon < -2) {
        NvSetF32(kNvLastLatitude, src->fLat);
        NvSetF32(kNvLastLongitude, src->fLon);
    }
}

// Tested before counting: the image goes out every 37th second.
static void NvramCadence() {
    if (s_loop.nNvSeconds > 35) {
        s_loop.nNvSeconds = 0;
        G_RpmPulse.nWriteInProgress = 1;
        WriteNVRam(0);
        G_RpmPulse.nWriteInProgress = 0;
    } else {
        s_loop.nNvSeconds += 1;
    }
}

// The word before G_UptimeSec in the target's layout; nothing reads it.
static uint32_t s_perSecondWord = 0;

// Seconds that passed while the loop was held up (a card copy, a long file
// write) count as well, so that the counters of seconds keep time; a hold of
// more than ten minutes is not made up in full.
static uint32_t SecondsToCount() {
    constexpr uint32_t kMostCaughtUp = 600;
    const uint32_t passed = G_UptimeSec - s_loop.nSecondsDone;
    s_loop.nSecondsDone = G_UptimeSec;
    if (passed == 0) return 1;
    return passed < kMostCaughtUp ? passed : kMostCaughtUp;
}

static void OnceASecond() {
    G_SecondTick = 0;
    s_loop.nLastSecond = Now();
    s_perSecondWord = 0;
    const uint32_t seconds = SecondsToCount();
    UpdateDateTime();
    FiveMinuteLine();
    for (uint32_t i = 0; i < seconds; ++i) TimerTick();
    LeaveSplashBySkip();
    if (G_NetStreamCfg[kStreamWx].INST == kWxMaster) SendUserEvent(32, G_Wx.nProducts, OwnIp());
    DemoIdle();
    KickWatchdog(10);
    for (uint32_t i = 0; i < seconds; ++i) DiscreteCounters();
    SerialOutputs();
    if (G_NetStreamCfg[kStreamAhrs].NET != 2 && PortHasFunction(G_AhrsAidPort, 1) && G_AhrsState.nAiding != 1)
        SendAhrsAiding();
    EngineSecond();
    LastPosition();
    NvramCadence();
}

// ---- data logs ------------------------------------------------------------------------

static bool AircraftInUse() {
    if (G_InstReading[kInstRpm].nValue > 4000) return true;   // tenths of RPM
    if (G_AirData.nIas > 250) return true;
    const NavSrcRec* src = MapGpsSource();
    return src && src->nGroundSpeed > 50;
}

// The interval is clamped so that its period in ticks fits a wrap-aware difference.
static void DataLogs() {
    if (G_DataStoreInterval == 0 || !TicksElapsed(Now(), s_loop.nLastSecond, kAlarmPeriod) || !AircraftInUse()) return;
    const uint32_t seconds = G_DataStoreInterval < kDataLogMaxSeconds ? G_DataStoreInterval : kDataLogMaxSeconds;
    const uint32_t period = seconds * kTicksPerSecond;
    if (Due(s_loop.nDataLogFlash, period)) {
        DataStoreRecord();
    } else if (TicksElapsed(Now(), s_loop.nDataLogSd, period) &&
               TicksElapsed(Now(), s_loop.nDataLogFlash, 184300)) {
        s_loop.nDataLogSd = Now();
        if (G_SDCard.nLogging == 1) WriteEngineLogRec(0);
    }
}

// ---- shutdown ------------------------------------------------------------------------

static void Shutdown() {
    const uint32_t role = G_NetStreamCfg[kStreamWx].INST;
    if (role == kWxMaster) {
        for (int i = 0; i < 5; ++i) SendUserEvent(32, 0, OwnIp());
        DebugPrintf("WX Master Shutdown\n");
    } else if (role == kWxSlave && G_WxConn != 0) {
        TCP_Abort(G_WxConn);
        DebugPrintf("WX Slave Shutdown\n");
    }
    // The tick stops sending once G_CalRestart is set, so the ring is sent from
    // here: otherwise the wait only times out and the slave never hears status 0.
    const uint32_t start = Now();
    while (G_NetRing.nTxWr != G_NetRing.nTxRd && !TicksElapsed(Now(), start, kShutdownWait)) {
        if (CS_LinkUp()) NET_TxFlush();
        IdleHook();
    }
    AppIntsOffRestore(-1);
}

// ---- the loop ------------------------------------------------------------------------

static void OnePassSlots() {
    if (Due(s_loop.nAdc, kAdcPeriod)) SampleAdcStep();
    if (Due(s_loop.nAir, kAirdataPeriod)) AirdataSlot();
    if (Due(s_loop.nAhrs, kAhrsPeriod)) AhrsSlot();
    if (Due(s_loop.nEngine, kEnginePeriod)) EngineSlot();
    if (Due(s_loop.nTraffic, kTrafficPeriod) && (G_DemoFlags & kDemoTraffic)) TrafficDemoTargets();
    if (Due(s_loop.nNavSlot, kNavSlotPeriod)) NavSlot();
    if (G_NetSerialShare == 1 && Due(s_loop.nNavRec, kNavRecPeriod)) NavRecordsSlot();
    EngineFrameSlot();
    EngineCsvSlot();
    ClockSync();
}

void MainLoop() {
    std::memset(&s_loop, 0, sizeof s_loop);
    s_loop.nAlarm = Now();
    s_loop.nNavStream = kStreamNav1 + 2;    // the first slot served is stream 4
    s_loop.nSecondsDone = G_UptimeSec;
    for (;;) {
        if (G_CalRestart == 1) {
            Shutdown();
            return;
        }
        if (G_Autopilot.bOutput) {
            ApVerticalTick();
            ApLateralTick();
        }
        PollSDCard();
        KeysPending(true);
        NetworkReceive();
        SerialPortsService();
        OnePassSlots();
        ServeScreenDump();    // before the next frame replaces the picture
        if (G_FlipCtl.nFlipReq == 0 && Due(s_loop.nFrame, kFramePeriod)) FrameBlock();
        else FramelessPass();
        if (Due(s_loop.nAlarm, kAlarmPeriod)) AlarmTask();
        KeysPending(false);
        if (G_SecondTick) OnceASecond();
        else DataLogs();
    }
}
