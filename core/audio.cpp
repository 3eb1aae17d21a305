#include "core/audio.h"

#include <cstddef>
#include <cstring>

#include "core/adc.h"
#include "core/battery.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "core/util.h"
#include "platform/hw.h"
#include "platform/monitor.h"
#include "storage/nvram.h"
#include "ui/buttons.h"
#include "ui/knob.h"

// AC97 controller and codec window.
constexpr uint32_t GCR  = 0x4050000C;
constexpr uint32_t GSR  = 0x4050001C;
constexpr uint32_t CAR  = 0x40500020;
constexpr uint32_t PCDR = 0x40500040;
constexpr uint32_t kCodecBase = 0x40500200;   // register n at + 2n
constexpr uint32_t kGcrColdRelease = 1u << 1;
constexpr uint32_t kGcrLinkOn      = 0x100;
constexpr uint32_t kGsrCommandDone = 1u << 19;
constexpr uint32_t kGsrStatusDone  = 1u << 18;
constexpr uint32_t kGsrReadError   = 1u << 15;
constexpr uint32_t kCodecMasterVolume = 0x02;
constexpr uint32_t kCodecExtAudioCtrl = 0x2A;
constexpr uint32_t kCodecDacRate      = 0x2C;
constexpr uint32_t kCodecVendor6A     = 0x6A;
constexpr uint32_t kCodecVendorId     = 0x7C;
constexpr uint32_t kCodecWriteTicks   = 3686;    // 1 ms
constexpr uint32_t kCodecReadTicks    = 18430;   // 5 ms
constexpr int32_t  kCodecReadError    = 0x8000;

// DMA channel 12 and request 12 (AC97 PCM transmit).
constexpr uint32_t DCSR12  = 0x40000030;
constexpr uint32_t DRCMR12 = 0x40000130;
constexpr uint32_t DDADR12 = 0x400002C0;
constexpr uint32_t kDcsrRun        = 1u << 31;
constexpr uint32_t kDcsrBusErr     = 1u << 0;
constexpr uint32_t kDrcmrChannel12 = 0x8C;
constexpr uint32_t kDescStop       = 1u << 0;
constexpr uint32_t kDescCommand    = 0x9003C000;   // source increments, target paces, 32-byte bursts, 4-byte width

// GPIO 28..31: the AC97 link (bit clock and data in as inputs, data out and sync as outputs).
constexpr uint32_t GPDR0   = 0x40E0000C;
constexpr uint32_t GPSR0   = 0x40E00018;
constexpr uint32_t GPCR0   = 0x40E00024;
constexpr uint32_t kGpio5Alarm = 1u << 5;
constexpr uint32_t GAFR0_U = 0x40E00058;
constexpr uint32_t kLinkAfrMask = 0xFF000000;
constexpr uint32_t kLinkAfr     = 0xA5000000;   // 28, 29: function 1; 30, 31: function 2
constexpr uint32_t kLinkOutputs = (1u << 30) | (1u << 31);

// DMA-visible RAM: the chains, then the sound records.
constexpr uint32_t kSoundRamBase   = 0xA0800000;
constexpr uint32_t kSoundDescBus   = kSoundRamBase;
constexpr uint32_t kSoundTableBus  = kSoundRamBase + 0x5000;
static_assert(kSoundSlots * kSoundDescMax * sizeof(DmaDesc) <= 0x5000);

constexpr uint32_t kOpenFailTicks = 368600;   // about 100 ms
constexpr int32_t  kMinRate = 8000;           // what the codec's DAC can play
constexpr int32_t  kMaxRate = 48000;

const char SoundFileNames[kSoundSlots][40] = {
    "",             "AMPS.KVW",    "ANGLE.KVW",   "CANOPY.KVW", "CHT.KVW",      "EGT.KVW",
    "FUELCOMP.KVW", "FUELPSI.KVW", "FUELTANK.KVW", "MANIFOLD.KVW", "OILPSI.KVW", "OILTEMP.KVW",
    "RPM.KVW",      "VOLTS.KVW",   "BEEP.KVW",    "MINIMUMS.KVW", "ALTITUDE.KVW", "TIMER.KVW",
};
const char SoundNames[kSoundSlots][16] = {
    "NONE",     "AMPS",    "ANGLE",   "CANOPY",   "CHT",    "EGT",     "FUELCOMP", "FUELPSI", "FUELTANK",
    "MANIFOLD", "OILPSI",  "OILTEMP", "RPM",      "VOLTS",  "BEEP",    "MINIMUMS", "ALTITUDE", "TIMER",
};

SoundRec* G_Sound = nullptr;
DmaDesc (*G_SoundDesc)[kSoundDescMax] = nullptr;

// A mono file's samples before they are doubled: the largest data chunk and its 32 bytes of silence.
static uint8_t s_monoScratch[kSoundDataBytes];

// ---- the DMA-visible tables ---------------------------------------------------

static bool BindSoundTables() {
    if (G_Sound && G_SoundDesc) return true;
    G_Sound = reinterpret_cast<SoundRec*>(HwMemory(kSoundTableBus, kSoundSlots * sizeof(SoundRec)));
    G_SoundDesc = reinterpret_cast<DmaDesc (*)[kSoundDescMax]>(
        HwMemory(kSoundDescBus, kSoundSlots * kSoundDescMax * sizeof(DmaDesc)));
    return G_Sound && G_SoundDesc;
}

static uint32_t SoundDataBus(int32_t id) {
    return kSoundTableBus + static_cast<uint32_t>(id) * sizeof(SoundRec) + offsetof(SoundRec, abData);
}

static uint32_t SoundDescBus(int32_t id, int32_t n) {
    return kSoundDescBus + static_cast<uint32_t>(id * kSoundDescMax + n) * sizeof(DmaDesc);
}

// ---- codec access ----------------------------------------------------------------

static void CodecAccessRelease() { HwWrite32(CAR, 0); }

static int32_t CodecWriteWait() {
    uint32_t start = ReadOsTimer();
    while (!(HwRead32(GSR) & kGsrCommandDone)) {
        if (TicksElapsed(ReadOsTimer(), start, kCodecWriteTicks)) {
            DebugPrintf("Codec Write Timed Out\n");
            return -1;
        }
    }
    HwWrite32(GSR, kGsrCommandDone);
    return 0;
}

static int32_t CodecReadWait() {
    uint32_t start = ReadOsTimer();
    while (!(HwRead32(GSR) & kGsrStatusDone)) {
        if (TicksElapsed(ReadOsTimer(), start, kCodecReadTicks)) return -1;
    }
    HwWrite32(GSR, kGsrStatusDone);
    if (HwRead32(GSR) & kGsrReadError) {
        HwWrite32(GSR, kGsrReadError);
        return kCodecReadError;
    }
    return 0;
}

static int32_t CodecWrite(uint32_t reg, uint16_t value) {
    CodecAccessRelease();
    HwWrite32(kCodecBase + 2 * reg, value);
    return CodecWriteWait();
}

static int32_t CodecRead(uint32_t reg) {
    CodecAccessRelease();
    (void)HwRead32(kCodecBase + 2 * reg);
    return CodecReadWait();
}

static int32_t CodecWriteReadBack(uint32_t reg, uint16_t value) {
    CodecWrite(reg, value);
    return CodecRead(reg);
}

int32_t InitAudio() {
    HwWrite32(GAFR0_U, (HwRead32(GAFR0_U) & ~kLinkAfrMask) | kLinkAfr);
    HwWrite32(GPDR0, HwRead32(GPDR0) | kLinkOutputs);
    HwWrite32(DRCMR12, kDrcmrChannel12);
    HwWrite32(DCSR12, 0);   // descriptor fetch on, channel stopped
    HwWrite32(GCR, HwRead32(GCR) | kGcrColdRelease);
    if (CodecRead(kCodecVendorId) == kCodecReadError) CodecRead(kCodecVendorId);
    CodecWriteReadBack(kCodecExtAudioCtrl, 1);
    CodecWriteReadBack(kCodecVendor6A, 64);
    int32_t status = CodecWriteReadBack(kCodecDacRate, 44100);
    CodecAccessRelease();
    HwWrite32(GCR, HwRead32(GCR) | kGcrLinkOn);
    // The tables outlive the application in board RAM; a new start has no sounds yet.
    if (BindSoundTables()) {
        for (int32_t id = 0; id < kSoundSlots; ++id) {
            std::memset(&G_Sound[id], 0, offsetof(SoundRec, abData));
            std::memset(G_SoundDesc[id], 0, sizeof G_SoundDesc[id]);
        }
    }
    return status;
}

// ---- loading ---------------------------------------------------------------------

// Monitor calls run with the application's interrupts held off.
static int TfsOpen(const char* name) {
    AppIntsOffRestore(0);
    int fd = mon_tfsopen(name, kTfsRead, nullptr);
    AppIntsOffRestore(1);
    return fd;
}

static void TfsClose(int fd) {
    AppIntsOffRestore(0);
    mon_tfsclose(fd, nullptr);
    AppIntsOffRestore(1);
}

// True when all n bytes were read.
static bool TfsReadAll(int fd, void* buf, uint32_t n) {
    AppIntsOffRestore(0);
    int got = mon_tfsread(fd, static_cast<char*>(buf), static_cast<int>(n));
    AppIntsOffRestore(1);
    return got == static_cast<int>(n);
}

static bool SkipBytes(int fd, uint32_t n) {
    char scrap[64];
    while (n > 0) {
        uint32_t step = n < sizeof scrap ? n : sizeof scrap;
        if (!TfsReadAll(fd, scrap, step)) return false;
        n -= step;
    }
    return true;
}

// The data chunk's id, searched in 2-byte steps as stored files expect.
static bool FindDataChunk(int fd, char* id) {
    char prev[2] = {0, 0};
    char cur[2];
    while (TfsReadAll(fd, cur, 2)) {
        if (prev[0] == 'd' && prev[1] == 'a' && cur[0] == 't' && cur[1] == 'a') {
            std::memcpy(id, "data", 4);
            return true;
        }
        prev[0] = cur[0];
        prev[1] = cur[1];
    }
    return false;
}

// Reads the header up to the data size; logs and returns false on the first fault.
static bool ReadWavHeader(int fd, WavHeader& h) {
    if (!TfsReadAll(fd, h.szRiff, 4) || std::memcmp(h.szRiff, "RIFF", 4) != 0) {
        DebugPrintf("ERROR: FileType: %.4s\n", h.szRiff);
        return false;
    }
    TfsReadAll(fd, &h.nRiffSize, 4);
    if (!TfsReadAll(fd, h.szWave, 4) || std::memcmp(h.szWave, "WAVE", 4) != 0) {
        DebugPrintf("ERROR: Format: %.4s\n", h.szWave);
        return false;
    }
    TfsReadAll(fd, h.szFmtId, 4);
    if (!TfsReadAll(fd, &h.nFmtSize, 4) || h.nFmtSize < 16) {
        DebugPrintf("ERROR: HeaderSize: %d\n", static_cast<int>(h.nFmtSize));
        return false;
    }
    if (!TfsReadAll(fd, &h.nAudioFormat, 2) || h.nAudioFormat != 1) {
        DebugPrintf("ERROR: AudioFormat: %d\n", h.nAudioFormat);
        return false;
    }
    bool whole = TfsReadAll(fd, &h.nChannels, 2) && TfsReadAll(fd, &h.nSampleRate, 4) &&
                 TfsReadAll(fd, &h.nByteRate, 4) && TfsReadAll(fd, &h.nBlockAlign, 2) &&
                 TfsReadAll(fd, &h.nBitsPerSample, 2);
    if (!whole) {
        DebugPrintf("ERROR: Short Header\n");
        return false;
    }
    // Only what the conversion can turn into 16-bit stereo frames at a rate the codec plays.
    if (h.nChannels != 1 && h.nChannels != 2) {
        DebugPrintf("ERROR: Channels: %d\n", h.nChannels);
        return false;
    }
    if (h.nBitsPerSample != 16) {
        DebugPrintf("ERROR: BitsPerSample: %d\n", h.nBitsPerSample);
        return false;
    }
    if (h.nBlockAlign != 2 * h.nChannels) {
        DebugPrintf("ERROR: BlockAlign: %d\n", h.nBlockAlign);
        return false;
    }
    if (h.nSampleRate < static_cast<uint32_t>(kMinRate) || h.nSampleRate > static_cast<uint32_t>(kMaxRate)) {
        DebugPrintf("ERROR: SampleRate: %d\n", static_cast<int>(h.nSampleRate));
        return false;
    }
    if (!SkipBytes(fd, h.nFmtSize - 16) || !FindDataChunk(fd, h.szData)) {
        DebugPrintf("ERROR: No DATA Chunk\n");
        return false;
    }
    if (!TfsReadAll(fd, &h.nDataSize, 4) || h.nDataSize > kSoundDataMax) {
        DebugPrintf("ERROR: DataSize: %d\n", static_cast<int>(h.nDataSize));
        return false;
    }
    return true;
}

// Reads the data chunk as stereo frames followed by 32 bytes of silence, the
// run-out the DMA plays past the end; a mono sample goes to both channels.
static bool ReadWavData(int fd, SoundRec& s) {
    WavHeader& h = s.header;
    uint32_t size = h.nDataSize;
    if (h.nChannels == 2) {
        if (!TfsReadAll(fd, s.abData, size)) return false;
        std::memset(s.abData + size, 0, 32);
        h.nDataSize = size + 32;
        return true;
    }
    if (!TfsReadAll(fd, s_monoScratch, size)) return false;
    std::memset(s_monoScratch + size, 0, 32);
    uint32_t out = 2 * (size + 32);
    if (out > kSoundDataBytes) out = kSoundDataBytes;
    for (uint32_t i = 0; 4 * i + 4 <= out; ++i) {
        std::memcpy(s.abData + 4 * i, s_monoScratch + 2 * i, 2);
        std::memcpy(s.abData + 4 * i + 2, s_monoScratch + 2 * i, 2);
    }
    h.nChannels = 2;
    h.nByteRate *= 2;
    h.nBlockAlign *= 2;
    h.nDataSize = out;
    return true;
}

// The chain plays the whole data once: whole frames per descriptor, the stop
// bit on the last, the unused tail filled with copies of the last.
static void BuildSoundChain(int32_t id) {
    SoundRec& s = G_Sound[id];
    DmaDesc* d = G_SoundDesc[id];
    uint32_t total = s.header.nDataSize & ~3u;
    int32_t last = static_cast<int32_t>((total + kSoundChunk - 1) / kSoundChunk) - 1;
    if (last < 0) last = 0;
    for (int32_t n = 0; n <= last; ++n) {
        uint32_t at = kSoundChunk * static_cast<uint32_t>(n);
        uint32_t len = total - at < kSoundChunk ? total - at : kSoundChunk;
        d[n].nNext = n == last ? SoundDescBus(id, n) | kDescStop : SoundDescBus(id, n + 1);
        d[n].nSource = SoundDataBus(id) + at;
        d[n].nTarget = PCDR;
        d[n].nCommand = kDescCommand + len;
    }
    for (int32_t n = last + 1; n < kSoundDescMax; ++n) d[n] = d[last];
    s.nDescLast = last;
}

int32_t LoadWavFile(int32_t id) {
    if (id < 1 || id >= kSoundSlots || !BindSoundTables()) return -1;
    SoundRec& s = G_Sound[id];
    s.bValid = 1;
    s.nId = id;
    const char* name = SoundFileNames[id];
    int fd = TfsOpen(name);
    if (fd < 0) {
        DebugPrintf("ERROR: %s: %d\n", name, fd);
        DelayTicks(kOpenFailTicks);
        s.bValid = 0;
        return -1;
    }
    DebugPrintf("Loading %s\n", name);
    std::memset(&s.header, 0, sizeof s.header);
    std::memset(s.abData, 0, sizeof s.abData);
    bool ok = ReadWavHeader(fd, s.header);
    if (ok && !ReadWavData(fd, s)) {
        DebugPrintf("ERROR: Short DATA: %d\n", static_cast<int>(s.header.nDataSize));
        ok = false;
    }
    TfsClose(fd);
    if (!ok) {
        s.bValid = 0;
        return -1;
    }
    s.nFrames = static_cast<int32_t>(s.header.nDataSize / s.header.nBlockAlign + 1);
    s.nChunks = static_cast<int32_t>(s.header.nDataSize / 8191 + 1);
    BuildSoundChain(id);
    return 0;
}

// ---- playing ---------------------------------------------------------------------

static int32_t MasterVolume() {
    int32_t v = static_cast<int32_t>(NvGetU32(kNvMasterVolume));
    return v < 0 ? 0 : (v > 100 ? 100 : v);
}

int32_t PlaySound(int32_t id) {
    bool known = id >= 0 && id < kSoundSlots;
    int32_t volume = MasterVolume();
    DebugPrintf("PlaySound %s, Vol:%d\n", known ? SoundNames[id] : "?", static_cast<int>(volume));
    if (!BindSoundTables()) return -1;
    if (!known || id == 0 || !G_Sound[id].bValid) {
        id = kSoundBeep;
        DebugPrintf("ERROR: Select %s\n", SoundNames[id]);
    }
    SoundRec& s = G_Sound[id];
    if (!s.bValid) {
        DebugPrintf("%s, validData Flag: FALSE\n", SoundNames[id]);
        return -1;
    }
    CodecWrite(kCodecDacRate, static_cast<uint16_t>(s.header.nSampleRate));
    uint32_t a = static_cast<uint32_t>(63 - (volume * 63) / 100);
    CodecWrite(kCodecMasterVolume, static_cast<uint16_t>(a | (a << 8)));
    HwWrite32(DDADR12, SoundDescBus(id, 0));
    HwWrite32(DCSR12, kDcsrBusErr);
    HwWrite32(DCSR12, kDcsrRun);
    return 0;
}

// ---- the volume and sound-test menu ---------------------------------------------

constexpr uint32_t kMenuMissingTicks = 7372800;    // 2 s
constexpr uint32_t kMenuSoundTicks   = 11075584;   // 3 s
constexpr uint32_t kMenuSampleTicks  = 50 * kTicksPerMs;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr int32_t  kMenuFont = 4;

static void ShowVolume(int32_t volume) { DrawTextF(kWhite, kMenuFont, 0, 300, 60, "  %d%% ", static_cast<int>(volume)); }

static void SetVolume(int32_t volume) {
    NvSetU32(kNvMasterVolume, static_cast<uint32_t>(volume));
    uint32_t a = static_cast<uint32_t>(63 - (volume * 63) / 100);
    CodecWrite(kCodecMasterVolume, static_cast<uint16_t>(a | (a << 8)));
    ShowVolume(volume);
}

void SoundMenu() {
    int32_t testSound[kSoundSlots] = {};
    int32_t count = 0;
    int32_t i = 1;
    for (; i < kSoundSlots; ++i) {
        TfsStat st{};
        AppIntsOffRestore(0);
        int found = mon_tfsstat(SoundFileNames[i], &st);
        AppIntsOffRestore(1);
        if (found < 0) continue;
        DebugPrintf("Found %s\n", SoundFileNames[i]);
        if (LoadWavFile(i) != 0) continue;
        testSound[count++] = i;
        DebugPrintf("Loaded %s, numSounds:%d\n", SoundFileNames[i], static_cast<int>(count));
    }
    if (count == 0) {
        DrawTextF(kWhite, kMenuFont, 0, 20, 60, "ERROR, Sound Files Missing");
        DebugPrintf("No Sounds i:%d, testSound[0]:%d\n", static_cast<int>(i), static_cast<int>(testSound[0]));
        DelayTicks(kMenuMissingTicks);
        return;
    }
    HwWrite32(GPCR0, kGpio5Alarm);
    int32_t stored = MasterVolume();
    int32_t volume = stored;
    DrawTextF(kWhite, kMenuFont, 0, 20, 60, "1. Master Volume");
    ShowVolume(volume);
    bool ending = false;
    bool keep = false;
    int32_t next = 0;
    uint32_t periodStart = 0;
    uint32_t sampleStamp = ReadOsTimer();
    for (bool first = true;; first = false) {
        uint32_t now = ReadOsTimer();
        if (first || TicksElapsed(now, periodStart, kMenuSoundTicks)) {
            if (ending) break;
            HwWrite32(GPSR0, kGpio5Alarm);
            DrawTextF(kWhite, kMenuFont, 0, 20, 100, "%-16s", SoundFileNames[testSound[next]]);
            PlaySound(testSound[next]);
            next = (next + 1) % count;
            periodStart = now;
        }
        if (TicksElapsed(now, sampleStamp, kMenuSampleTicks)) {
            KickWatchdog(10);
            SampleAdcStep();
            CheckBattery();
            sampleStamp = now;
        }
        if (int32_t delta = G_Knob0.nDelta) {
            G_Knob0.nDelta = 0;
            volume += delta;
            volume = volume < 0 ? 0 : (volume > 100 ? 100 : volume);
            SetVolume(volume);
        }
        if (int32_t key = G_KeyEvent) {
            G_KeyEvent = 0;
            if (!ending && (key == 5 || key == 21)) {
                DrawTextF(kWhite, kMenuFont, 0, 20, 140, "Writing to NVRAM");
                WriteNVRam(1);
                DrawTextF(kWhite, kMenuFont, 0, 20, 140, "Writing to NVRAM ... DONE");
                ending = keep = true;
            } else if (!ending && (key == 1 || key == 17)) {
                ending = true;
            }
        }
        HwIdle();
    }
    // Leaving without storing: the image keeps the volume it had.
    if (!keep) NvSetU32(kNvMasterVolume, static_cast<uint32_t>(stored));
    HwWrite32(GPCR0, kGpio5Alarm);
    G_KeyEvent = 0;
    G_Knob0.nDelta = 0;
    G_Knob1.nDelta = 0;
}
