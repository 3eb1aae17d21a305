// The engine CSV stream: checksummed configuration, header and data lines
// for an outside recorder on the port of function 13.
#include <cstdio>
#include <cstring>

#include "core/ostimer.h"
#include "core/serial.h"
#include "engine/engine.h"
#include "engine/instrument.h"

EngineCsvStream G_EngineCsv = {};

namespace {
constexpr const char kHeader[] =
    "HDR,AMP1,C1,C2,C3,C4,C5,C6,E1,E2,E3,E4,E5,E6,FF,FQRL,FQRR,FP,MAP,MBUS,OILP,OILT,RPM,TIT,IAT,OAT,";
// Readings of the 25 data columns in header order.
constexpr int32_t kColumns[25] = {
    kInstAmpsShunt, 34, 35, 36, 37, 38, 39, 26, 27, 28, 29, 30, 31, kInstFuelFlow,
    19, 20, 12, kInstManifold, kInstBattVolts, 16, 17, kInstRpm, kInstTit1, 18, kInstOat,
};
}  // namespace

uint32_t AppendCsvChecksum(char* line, uint32_t len, uint32_t size) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < len; ++i) sum += static_cast<uint8_t>(line[i]);
    if (len + 7 > size) return len;
    std::snprintf(line + len, size - len, "%04X\r\n", static_cast<unsigned>(sum & 0xFFFF));
    return len + 6;
}

void SendEngineCsvHeader() {
    EngineCsvStream& s = G_EngineCsv;
    std::memset(&s, 0, sizeof s);
    s.nStamp = ReadOsTimer();
    s.nSetUp = 1;
    int n = std::snprintf(s.szCfg, sizeof s.szCfg, "CFG,%d,%d,%d,%d,%d,", 7, 5, 0, 7, 7);
    s.nCfgLen = AppendCsvChecksum(s.szCfg, static_cast<uint32_t>(n), sizeof s.szCfg);
    n = std::snprintf(s.szHdr, sizeof s.szHdr, "%s", kHeader);
    s.nHdrLen = AppendCsvChecksum(s.szHdr, static_cast<uint32_t>(n), sizeof s.szHdr);
}

// Whole units, as an unsigned 16-bit field; an invalid reading is 0 and
// negative values stay four digits (two's complement).
static uint16_t CsvValue(int32_t inst) {
    const InstReading& r = G_InstReading[inst];
    if (!r.bValid) return 0;
    const int32_t v = r.nValue;
    const int32_t whole = v >= 0 ? (v + 5) / 10 : (v - 5) / 10;
    return static_cast<uint16_t>(whole);
}

void BuildEngineCsvData() {
    EngineCsvStream& s = G_EngineCsv;
    uint32_t len = static_cast<uint32_t>(std::snprintf(s.szData, sizeof s.szData, "DATA,"));
    for (int32_t inst : kColumns) {
        // The hall sensor stands in when it is the only current input.
        if (inst == kInstAmpsShunt && G_InstCfg[kInstAmpsShunt].nEnable == 0) inst = kInstAmpsHall;
        len += static_cast<uint32_t>(std::snprintf(s.szData + len, sizeof s.szData - len, "%04X,",
                                                   static_cast<unsigned>(CsvValue(inst))));
    }
    s.nDataLen = AppendCsvChecksum(s.szData, len, sizeof s.szData);
}

void SendEngineCsvData() {
    EngineCsvStream& s = G_EngineCsv;
    if (s.nSetUp != 1) return;
    const uint32_t port = G_EngCsvPort;
    if (s.nCycle == 0) {
        if (s.nCfgSent < 16) {
            SerialWrite(port, s.szCfg, static_cast<int32_t>(s.nCfgLen));
            s.nCfgSent += 1;
        }
        SerialWrite(port, s.szHdr, static_cast<int32_t>(s.nHdrLen));
    }
    BuildEngineCsvData();
    SerialWrite(port, s.szData, static_cast<int32_t>(s.nDataLen));
    s.nCycle = s.nCycle >= 14 ? 0 : s.nCycle + 1;
}
