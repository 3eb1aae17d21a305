// The AC97 controller and codec, the DMA controller's paced channel and the
// WAV sink, driven through their registers as firmware would.
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/ac97.h"
#include "platform/dma.h"
#include "platform/hw.h"
#include "platform/ostimer.h"
#include "support/board_fixture.h"

namespace {

using namespace platform;

constexpr uint32_t kAc97 = 0x40500000;
constexpr uint32_t kDma = 0x40000000;
constexpr uint32_t DCSR12 = kDma + 4 * 12;
constexpr uint32_t DDADR12 = kDma + kDmaDesc + 16 * 12;
constexpr uint32_t kCmd = 0x9003C000;

uint32_t Codec(uint32_t reg) { return kAc97 + kAc97CodecWindow + 2 * reg; }

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

std::string Soxi(const std::string& option, const std::string& wav) {
    FILE* p = popen(("soxi " + option + " " + wav + " 2>/dev/null").c_str(), "r");
    char buf[64] = {};
    if (p) {
        if (!std::fgets(buf, sizeof buf, p)) buf[0] = 0;
        pclose(p);
    }
    buf[strcspn(buf, "\n")] = 0;
    return buf;
}

class AudioDmaTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        wav_ = flashPath_ + ".wav";
    }
    void TearDown() override {
        board().ac97().sink().Close();
        unlink(wav_.c_str());
        BoardTest::TearDown();
    }
    static void LinkUp(uint32_t rate) {
        HwWrite32(kAc97 + kAc97Gcr, kGcrColdRelease);
        HwWrite32(Codec(kCodecExtAudioCtrl), 1);
        HwWrite32(Codec(kCodecDacRate), rate);
        HwWrite32(Codec(kCodecMasterVolume), 0);
        HwWrite32(kDma + kDmaDrcmr + 4 * 12, kDrcmrValid | 12);
    }
    // Descriptor n at the start of DMA RAM, its data from 0x1000 on.
    static void Desc(int n, uint32_t next, uint32_t source, uint32_t len) {
        uint32_t d[4] = {next, source, kAc97PcdrAddr, kCmd + len};
        std::memcpy(HwMemory(kDmaRamBase + 16 * static_cast<uint32_t>(n), 16), d, 16);
    }
    static void Frames(uint32_t at, uint32_t count, uint32_t first) {
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t w = first + i;
            std::memcpy(HwMemory(at + 4 * i, 4), &w, 4);
        }
    }
    void Wait(uint64_t ticks) {
        uint64_t end = board().Now() + ticks;
        while (board().Now() < end) HwIdle();
    }
    std::string wav_;
};

TEST_F(AudioDmaTest, CodecRegistersAndCompletionBits) {
    // Held in cold reset the codec answers nothing.
    HwWrite32(Codec(kCodecMasterVolume), 0x0101);
    EXPECT_EQ(HwRead32(kAc97 + kAc97Gsr) & (kGsrCommandDone | kGsrStatusDone), 0u);
    EXPECT_EQ(board().ac97().CodecRegister(kCodecMasterVolume), 0x8000) << "muted after reset";

    HwWrite32(kAc97 + kAc97Gcr, kGcrColdRelease);
    EXPECT_TRUE(HwRead32(kAc97 + kAc97Gsr) & kGsrCodecReady);
    HwWrite32(Codec(kCodecMasterVolume), 0x2020);
    EXPECT_TRUE(HwRead32(kAc97 + kAc97Gsr) & kGsrCommandDone);
    EXPECT_EQ(HwRead32(kAc97 + kAc97Car), 1u);
    HwWrite32(kAc97 + kAc97Gsr, kGsrCommandDone);
    EXPECT_FALSE(HwRead32(kAc97 + kAc97Gsr) & kGsrCommandDone);
    EXPECT_EQ(HwRead32(Codec(kCodecMasterVolume)), 0x2020u);
    EXPECT_TRUE(HwRead32(kAc97 + kAc97Gsr) & kGsrStatusDone);
    EXPECT_NE(HwRead32(Codec(kCodecVendorId1)), 0u);

    struct Case { const char* name; uint32_t vra, write, read; };
    const Case cases[] = {
        {"fixed rate ignores writes", 0, 22050, 48000},
        {"variable rate", 1, 22050, 22050},
        {"below the DAC", 1, 4000, 8000},
        {"above the DAC", 1, 50000, 48000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HwWrite32(Codec(kCodecExtAudioCtrl), c.vra);
        HwWrite32(Codec(kCodecDacRate), c.write);
        EXPECT_EQ(HwRead32(Codec(kCodecDacRate)), c.read);
    }
}

// One frame per codec frame period; the chain stops after the descriptor
// with the stop bit, and the frames arrive whole and in order.
TEST_F(AudioDmaTest, ChannelFollowsTheChainAtTheCodecRate) {
    LinkUp(8000);
    ASSERT_TRUE(board().ac97().sink().Open(wav_.c_str()));
    Desc(0, kDmaRamBase + 16, kDmaRamBase + 0x1000, 400);
    Desc(1, (kDmaRamBase + 32) | kDdadrStop, kDmaRamBase + 0x2000, 402);   // 2 bytes short of a frame dropped
    Frames(kDmaRamBase + 0x1000, 100, 0x10000);
    Frames(kDmaRamBase + 0x2000, 100, 0x20000);
    HwWrite32(DDADR12, kDmaRamBase);
    HwWrite32(DCSR12, kDcsrRun);
    Wait(kOsTimerHz / 100);   // 10 ms: 80 frames
    EXPECT_NEAR(board().ac97().FramesPlayed(), 80, 1);
    EXPECT_TRUE(HwRead32(DCSR12) & kDcsrRun);
    Wait(kOsTimerHz / 100 * 20);
    EXPECT_EQ(board().ac97().FramesPlayed(), 200u);
    EXPECT_EQ(HwRead32(DCSR12) & (kDcsrRun | kDcsrStopState), kDcsrStopState);
    ASSERT_TRUE(board().ac97().sink().Close());

    std::vector<uint8_t> b = ReadFile(wav_);
    ASSERT_EQ(b.size(), 44u + 200 * 4);
    EXPECT_EQ(Soxi("-r", wav_), "8000");
    EXPECT_EQ(Soxi("-s", wav_), "200");
    for (uint32_t i = 0; i < 200; ++i) {
        uint32_t w;
        std::memcpy(&w, b.data() + 44 + 4 * i, 4);
        ASSERT_EQ(w, (i < 100 ? 0x10000 : 0x20000 - 100) + i) << "frame " << i;
    }
}

// Run on a running channel starts the new chain at once; a descriptor
// outside memory or a target other than the PCM register is a bus error.
TEST_F(AudioDmaTest, RestartsAndBusErrors) {
    LinkUp(48000);
    Desc(0, kDdadrStop, kDmaRamBase + 0x1000, 4000);
    Desc(1, kDdadrStop, kDmaRamBase + 0x2000, 8);
    HwWrite32(DDADR12, kDmaRamBase);
    HwWrite32(DCSR12, kDcsrRun);
    Wait(kOsTimerHz / 1000);
    uint32_t first = board().ac97().FramesPlayed();
    EXPECT_GT(first, 40u);
    HwWrite32(DDADR12, kDmaRamBase + 16);
    HwWrite32(DCSR12, kDcsrRun);
    Wait(kOsTimerHz / 100);
    EXPECT_EQ(board().ac97().FramesPlayed(), first + 2);
    EXPECT_FALSE(HwRead32(DCSR12) & kDcsrRun);

    struct Case { const char* name; uint32_t ddadr; uint32_t target; };
    const Case cases[] = {
        {"descriptor outside memory", 0x90000000, kAc97PcdrAddr},
        {"target not the PCM register", kDmaRamBase + 48, 0x40500044},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t d[4] = {kDdadrStop, kDmaRamBase + 0x1000, c.target, kCmd + 64};
        std::memcpy(HwMemory(kDmaRamBase + 48, 16), d, 16);
        HwWrite32(DDADR12, c.ddadr);
        HwWrite32(DCSR12, kDcsrRun);
        Wait(kOsTimerHz / 1000);
        EXPECT_EQ(HwRead32(DCSR12) & (kDcsrRun | kDcsrBusErrIntr), kDcsrBusErrIntr);
        HwWrite32(DCSR12, kDcsrBusErrIntr);
        EXPECT_FALSE(HwRead32(DCSR12) & kDcsrBusErrIntr);
    }
}

// A file keeps the first sound's rate: frames at another rate are repeated
// or dropped so the file keeps time; attenuation and mute apply per channel.
TEST_F(AudioDmaTest, SinkKeepsTimeAndVolume) {
    LinkUp(16000);
    ASSERT_TRUE(board().ac97().sink().Open(wav_.c_str()));
    HwWrite32(Codec(kCodecMasterVolume), 0x0400);   // left 6 dB down
    for (int i = 0; i < 10; ++i) HwWrite32(kAc97 + kAc97Pcdr, 0x10002000);
    HwWrite32(Codec(kCodecDacRate), 8000);
    HwWrite32(Codec(kCodecMasterVolume), 0x8000);   // muted
    for (int i = 0; i < 10; ++i) HwWrite32(kAc97 + kAc97Pcdr, 0x10002000);
    HwWrite32(Codec(kCodecDacRate), 32000);
    HwWrite32(Codec(kCodecMasterVolume), 0);
    for (int i = 0; i < 10; ++i) HwWrite32(kAc97 + kAc97Pcdr, 0x10002000);
    ASSERT_TRUE(board().ac97().sink().Close());
    EXPECT_EQ(Soxi("-r", wav_), "16000");
    std::vector<uint8_t> b = ReadFile(wav_);
    ASSERT_EQ(b.size(), 44u + (10 + 20 + 5) * 4);
    std::vector<int16_t> s((b.size() - 44) / 2);
    std::memcpy(s.data(), b.data() + 44, s.size() * 2);
    EXPECT_EQ(s[0], Attenuate(0x2000, 4));
    EXPECT_EQ(s[0], 0x2000 * 5012 / 10000 + 1);   // 10^(-6/20), rounded
    EXPECT_EQ(s[1], 0x1000);
    EXPECT_EQ(s[20], 0);
    EXPECT_EQ(s[2 * 34], 0x2000);
}

TEST(Kv5100Audio, WritesAWavFileOrRefusesThePath) {
    std::string flash = "/tmp/kvaudio_flash_" + std::to_string(getpid());
    std::string wav = flash + ".wav";
    std::string cmd = std::string(KV5100_PATH) + " --headless --flash " + flash + " --run-for 1 --audio ";
    EXPECT_EQ(WEXITSTATUS(std::system((cmd + wav + " >/dev/null 2>&1").c_str())), 0);
    EXPECT_EQ(Soxi("-c", wav), "2");
    EXPECT_EQ(Soxi("-b", wav), "16");
    EXPECT_EQ(WEXITSTATUS(std::system((cmd + "/nonexistent/dir/x.wav >/dev/null 2>&1").c_str())), 2);
    unlink(wav.c_str());
    unlink(flash.c_str());
    unlink((flash + ".rtc").c_str());
}

}  // namespace
