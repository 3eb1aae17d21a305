#include "core/spi.h"

#include <initializer_list>

#include "core/ostimer.h"
#include "core/syslog.h"
#include <cstdlib>

#include "engine/instrument.h"
#include "platform/hw.h"

uint32_t G_SpiBusy;
static uint32_t s_sspReady;

uint32_t SpiReady() { return s_sspReady; }

// GPIO registers, bank b at +4b; function registers hold 16 pins each.
constexpr uint32_t GPDR0 = 0x40E0000C;
constexpr uint32_t GPSR0 = 0x40E00018;
constexpr uint32_t GPCR0 = 0x40E00024;
constexpr uint32_t GAFR0_L = 0x40E00054;

constexpr uint32_t kPinCsDuart = 50, kPinCsEngine = 70, kPinCsAir = 73;
constexpr uint32_t kPinMux0 = 67;
constexpr uint32_t kSsEnable = 0x80;
constexpr uint32_t kSsRne = 0x08, kSsBusy = 0x10;
constexpr uint32_t kConverterPolls = 99999;
constexpr uint32_t kDuartPolls = 100000;


void SetPinMode(uint32_t pin, bool output, uint32_t function) {
    if (pin > 95) return;
    const uint32_t bank = pin / 32, bit = 1u << (pin % 32);
    const uint32_t dir = HwRead32(GPDR0 + 4 * bank);
    HwWrite32(GPDR0 + 4 * bank, output ? (dir | bit) : (dir & ~bit));
    const uint32_t afr = GAFR0_L + 4 * (pin / 16), shift = 2 * (pin % 16);
    HwWrite32(afr, (HwRead32(afr) & ~(3u << shift)) | (function & 3) << shift);
}

void SetPinLevel(uint32_t pin, bool high) {
    if (pin > 95) return;
    HwWrite32((high ? GPSR0 : GPCR0) + 4 * (pin / 32), 1u << (pin % 32));
}

// Polls the status until the receive FIFO holds a word (and, when asked,
// the port is idle); false when the polls run out.
static bool WaitAnswer(uint32_t polls, bool idle) {
    for (uint32_t i = 0; i < polls; ++i) {
        const uint32_t sr = HwRead32(SSSR);
        if ((sr & kSsRne) && !(idle && (sr & kSsBusy))) return true;
    }
    return false;
}

static uint16_t ConverterFrame(uint16_t command) {
    HwWrite32(SSDR, command);
    WaitAnswer(kConverterPolls, false);   // a converter cannot fail: a late answer reads what is there
    return static_cast<uint16_t>(HwRead32(SSDR));
}

static void EngineExchange(uint16_t* word) {
    SetPinLevel(kPinCsEngine, false);
    DelayTicks(18);
    ConverterFrame(*word);
    DelayTicks(55);
    uint16_t answer = ConverterFrame(*word);
    SetPinLevel(kPinCsEngine, true);
    DelayTicks(36);
    *word = static_cast<uint16_t>(answer >> 4);
}

static void AirExchange(uint16_t* word) {
    SetPinLevel(kPinCsAir, false);
    DelayTicks(18);
    ConverterFrame(*word);
    uint16_t answer = ConverterFrame(0);
    SetPinLevel(kPinCsAir, true);
    DelayTicks(36);
    *word = answer;
}

static int32_t DuartExchange(uint16_t* word) {
    SetPinLevel(kPinCsDuart, false);
    DelayTicks(3);
    HwWrite32(SSDR, *word);
    int32_t ok = 1;
    if (WaitAnswer(kDuartPolls, true)) {
        *word = static_cast<uint16_t>(HwRead32(SSDR));
    } else {
        const uint32_t sr = HwRead32(SSSR);
        DebugPrintf("SPIerr:  0x%08x\n", static_cast<unsigned>(sr));
        *word = static_cast<uint16_t>(sr);
        ok = 0;
    }
    SetPinLevel(kPinCsDuart, true);
    return ok;
}

int32_t SpiTransfer(uint32_t mode, uint16_t* word) {
    G_SpiBusy = 1;
    int32_t ok = 1;
    switch (mode) {
    case kSpiEngine: EngineExchange(word); break;
    case kSpiAir:    AirExchange(word); break;
    case kSpiDuart:  ok = DuartExchange(word); break;
    default:         ok = 0; break;
    }
    G_SpiBusy = 0;
    return ok;
}

void InitSsp() {
    SetPinMode(81, true, 1);
    SetPinMode(82, true, 1);
    SetPinMode(83, true, 1);
    SetPinMode(84, false, 2);
    HwWrite32(SSCR1, 0x60000000);
    HwWrite32(SSCR0, 0x10F);
    HwWrite32(SSPSP, 0x200070);
    HwWrite32(SSCR0, 0x10F | kSsEnable);
    s_sspReady = 1;
    for (uint32_t cs : {kPinCsDuart, kPinCsEngine, kPinCsAir}) {
        SetPinLevel(cs, true);   // deselected before it becomes an output
        SetPinMode(cs, true, 0);
    }
    InitAdcTable();
    for (uint32_t b = 0; b < 3; ++b) SetPinMode(kPinMux0 + b, true, 0);
    SetAdcChannelMode(kInstThermoTemp);
}

static uint32_t MuxCode(int32_t group) {
    switch (group) {
    case 14: return 7;
    case 15: return 3;
    case 19: return 1;
    case 20: return 2;
    case 21: return 5;
    case 22: return 6;
    case 47: return 4;
    default: return 0;
    }
}

void SetAdcChannelMode(int32_t inst) {
    if (inst < 0 || inst >= kInstruments) return;
    const uint32_t code = MuxCode(G_InstAd[inst].nMuxGroup);
    for (uint32_t b = 0; b < 3; ++b) SetPinLevel(kPinMux0 + b, (code >> b) & 1);
}

static int32_t Shift(int32_t n) { return n < 0 ? 0 : (n > 30 ? 30 : n); }

static int32_t MeanSample(const InstAd& a) {
    const int32_t n = a.nSamples > 0 ? a.nSamples : 1;   // loaders rewrite the table: never divide by 0
    int32_t sum = 0;
    for (int32_t i = 0; i < n; ++i) {
        uint16_t word = static_cast<uint16_t>(a.nAdCmd);
        SpiTransfer(static_cast<uint32_t>(a.nSpiMode), &word);
        sum += word;
    }
    return (sum / n) >> Shift(a.nAvgShift);
}

// OAT: an out-of-range sample is replaced by the last filtered value for up
// to nHoldLimit readings; the counter drains the same way once back in range.
static int32_t HoldSpike(InstAd& a, int32_t s) {
    const int32_t previous = a.nAdValue - a.nTempCorr;
    if (s < a.nAdLow || s > a.nAdHigh) {
        if (a.nHoldCount < a.nHoldLimit) {
            ++a.nHoldCount;
            return previous;
        }
        return s;
    }
    if (a.nHoldCount > 0) {
        --a.nHoldCount;
        return previous;
    }
    return s;
}

int32_t ReadAdc(int32_t inst) {
    if (inst < 0 || inst >= kInstruments) return 0;
    InstAd& a = G_InstAd[inst];
    a.nStamp = static_cast<int32_t>(ReadOsTimer());
    int32_t s = MeanSample(a);
    if (inst == kInstOat) s = HoldSpike(a, s);
    if (inst >= 23 && inst <= 25) {
        a.nAdValue = s;
        return s;
    }
    const int32_t scale = Shift(a.nFiltScale);
    a.nFiltAcc += ((s << scale) - a.nFiltAcc) >> Shift(a.nFiltShift);
    a.nAdValue = a.nTempCorr + (a.nFiltAcc >> scale);
    const int32_t type = G_EngInfo.nEngineType;
    if (type == 2 || type == 3) {
        G_InstAd[34].nAdValue = G_InstAd[21].nAdValue;
        G_InstAd[35].nAdValue = G_InstAd[22].nAdValue;
    }
    return a.nAdValue;
}

void ScaleAdcChannel(int32_t inst) {
    if (inst < 0 || inst >= kInstruments) return;
    int32_t ref = -1;
    if (inst == 0 || inst == 2 || inst == 3) ref = kInstSensorTemp;
    else if (inst >= 26 && inst <= 39) ref = kInstThermoTemp;
    if (ref < 0) {
        G_InstAd[inst].nTempCorr = 0;
        return;
    }
    const int32_t refValue = G_InstAd[ref].nAdValue;
    if (refValue == 0) return;   // no reference yet: keep the last correction
    const InstCal& cal = G_InstCal[inst];
    // Calibration values come from files: widen before subtracting, and keep
    // the correction within what a filtered value can carry.
    const int64_t d = std::llabs(static_cast<int64_t>(cal.nTempCalAd) - refValue);
    const int32_t slope = cal.nTempCalAd < refValue ? cal.nHiTempSlope : cal.nLowTempSlope;
    const float product = static_cast<float>(d) * static_cast<float>(slope);
    const double corr = static_cast<double>(product) / 100.0 + 0.5;
    constexpr double kMaxCorr = 1 << 20;
    G_InstAd[inst].nTempCorr = static_cast<int32_t>(corr > kMaxCorr ? kMaxCorr : (corr < -kMaxCorr ? -kMaxCorr : corr));
}
