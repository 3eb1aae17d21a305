// Items 14..20 of the administrator settings: the configuration of the
// engine, air-data, AHRS and weather modules between the two displays, the
// host numbers of both displays, and the fetch of the other display's engine,
// tank, air-data and angle-of-attack files through the boot monitor.
#include <cstdint>
#include <cstdio>

#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "core/util.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "engine/enginecfg.h"
#include "engine/tanks.h"
#include "net/net.h"
#include "platform/monitor.h"
#include "setup/admin.h"
#include "storage/config.h"

const char ModuleStateNames[6][20] = {
    " OFFLINE ", " HW:OFF, NET:RXD ", " HW:INT, NET:TXD ", " HW:INT, NET:OFF ", " HW:EXT, NET:TXD ", " HW:EXT, NET:OFF ",
};
const char WxModeNames[3][20] = {" OFFLINE ", " MASTER ", " SLAVE "};

namespace {

constexpr uint32_t kFirstHost = 175, kLastHost = 179;
constexpr uint32_t kFuncFadec100 = 9, kFuncFadec250 = 10;
constexpr uint32_t kRemoteWaitTicks = 2 * kTicksPerSecond;
constexpr uint32_t kServiceAfterTicks = kTicksPerSecond;

// Installed and source words of each module state.
struct ModuleWords { uint32_t inst, src; };
constexpr ModuleWords kModuleWords[6] = {{0, 0}, {2, 2}, {1, 1}, {1, 0}, {2, 1}, {2, 0}};

struct ModuleItem { int32_t stream; int32_t states; };
// Items 15..18; the air module offers the external states only when stored.
constexpr ModuleItem kModuleItems[4] = {{kStreamEngine, 6}, {kStreamAir, 4}, {kStreamAhrs, 6}, {kStreamWx, 3}};

struct RemoteFile {
    int32_t     stream;
    const char* name;
    void (*reload)();
};
const RemoteFile kRemoteFiles[] = {
    {kStreamEngine, "ENGINE.KVD", LoadEngineSettings},
    {kStreamEngine, "TANKS.KVC", LoadTanksCal},
    {kStreamAir, "AIRDATA.KVD", RepairSystemKvd},
    {kStreamAir, "AOA.KVC", ReadAoaFile},
};

struct AdminNet {
    int32_t  nState[4];       // items 15..18
    uint32_t nUnitAtEntry;    // own host number when the screen opened
    int32_t  bResetRequired;
};
AdminNet s_net;
char s_text[24];

bool ModuleItemOf(int32_t item) { return item >= kItemEngineModule && item <= kItemWxModule; }

uint32_t& HostOf(int32_t item) { return item == kItemUnitIp ? G_UnitIpByte : G_PartnerIpByte; }

// The settings word keeps its form: a whole address keeps its network part.
void KeepHostSetting(uint32_t& word, uint32_t host) { word = word > 0xFF ? (word & ~0xFFu) | host : host; }

uint32_t InRangeOr175(int64_t host) {
    return (host >= kFirstHost && host <= kLastHost) ? static_cast<uint32_t>(host) : kFirstHost;
}

void SetModuleState(int32_t item, int32_t state) {
    const ModuleItem& m = kModuleItems[item - kItemEngineModule];
    NetStreamCfg& s = G_NetStreamCfg[m.stream];
    s_net.nState[item - kItemEngineModule] = state;
    if (item == kItemWxModule) {
        s.INST = s.NET = static_cast<uint32_t>(state);
        return;
    }
    s.INST = kModuleWords[state].inst;
    s.NET = kModuleWords[state].src;
    if (state == 1 || state == 2 || state == 4) G_NetEnable = 1;
    // An external engine module needs a FADEC function on the FADEC port; a
    // port set to either FADEC keeps its own.
    if (item == kItemEngineModule && (state == 4 || state == 5) && G_FadecPort <= 4) {
        SerialPort& port = G_Serial[G_FadecPort];
        if (port.nFunction != kFuncFadec100 && port.nFunction != kFuncFadec250) port.nFunction = kFuncFadec100;
    }
}

}  // namespace

int32_t ModuleStateOf(int32_t stream) {
    NetStreamCfg& s = G_NetStreamCfg[stream];
    if (s.INST == 0) return 0;
    if (s.NET == 1) return s.INST == 1 ? 2 : 4;
    if (s.NET == 2) return 1;
    s.NET = 0;
    return s.INST == 1 ? 3 : 5;
}

int32_t WxStateOf() {
    const uint32_t role = G_NetStreamCfg[kStreamWx].INST;
    return (role == 1 || role == 2) ? static_cast<int32_t>(role) : 0;
}

void AdminNetOpen() {
    s_net = {};
    s_net.nUnitAtEntry = G_UnitIpByte;
}

int32_t AdminResetRequired() { return s_net.bResetRequired; }

int32_t AdminModuleState(int32_t item) { return ModuleItemOf(item) ? s_net.nState[item - kItemEngineModule] : 0; }

void AdminNetDrawn(int32_t item) {
    if (item == kItemWxModule) s_net.nState[3] = WxStateOf();
    else if (ModuleItemOf(item)) s_net.nState[item - kItemEngineModule] = ModuleStateOf(kModuleItems[item - kItemEngineModule].stream);
    else if (item == kItemUnitIp || item == kItemPartnerIp) HostOf(item) = InRangeOr175(HostOf(item));
}

const char* AdminNetValue(int32_t item) {
    if (item == kItemWxModule) return WxModeNames[s_net.nState[3]];
    if (ModuleItemOf(item)) return ModuleStateNames[s_net.nState[item - kItemEngineModule]];
    if (item == kItemUnitIp || item == kItemPartnerIp) {
        std::snprintf(s_text, sizeof s_text, " %u ", static_cast<unsigned>(HostOf(item)));
        return s_text;
    }
    return "";
}

void AdminNetKnob(int32_t item, int32_t delta) {
    if (ModuleItemOf(item)) {
        const ModuleItem& m = kModuleItems[item - kItemEngineModule];
        SetModuleState(item, WrapIndex(s_net.nState[item - kItemEngineModule], m.states, delta));
        return;
    }
    if (item != kItemUnitIp && item != kItemPartnerIp) return;
    uint32_t& host = HostOf(item);
    host = InRangeOr175(static_cast<int64_t>(host) + delta);
    if (item == kItemUnitIp) {
        KeepHostSetting(G_NetIpLocal, host);
        // The own address is set up only at start: leaving must restart.
        s_net.bResetRequired = host != s_net.nUnitAtEntry ? 1 : 0;
    } else {
        KeepHostSetting(G_NetIpOther, host);
    }
}

void RequestRemoteFiles(void (*show)(const char* text)) {
    if (G_NetEnable != 0) {
        for (const RemoteFile& f : kRemoteFiles) {
            if (G_NetStreamCfg[f.stream].NET != 2) continue;
            char command[160];
            // The monitor is handed the buffer's address as the target wrote
            // it; the host monitor stores the file straight into TFS.
            std::snprintf(command, sizeof command, "tftp -F %s %s.%d get %s 0x%x", f.name, "192.168.0",
                          static_cast<int>(G_PartnerIpByte), f.name,
                          static_cast<unsigned>(reinterpret_cast<uintptr_t>(FlashBuf)));
            DebugPrintf("%s\n", command);
            KickWatchdog(30);
            char shown[24];
            std::snprintf(shown, sizeof shown, " %s ", f.name);
            show(shown);
            AppIntsOffRestore(0);
            const int result = mon_docommand(command, 0);
            AppIntsOffRestore(1);
            if (result == 0) f.reload();
            DelayTicks(kRemoteWaitTicks);
            show(result == 0 ? " SUCCESS " : " ERROR ");
            DelayTicks(kRemoteWaitTicks);
        }
    }
    show(" DONE ");
    DelayTicks(kRemoteWaitTicks);
}

void RemoteFilesService(int32_t cursor, uint32_t drawnAt) {
    if (cursor != kItemRemoteFiles || !TicksElapsed(ReadOsTimer(), drawnAt, kServiceAfterTicks)) return;
    AppIntsOffRestore(0);
    mon_func61(0, -999);
    AppIntsOffRestore(1);
}
