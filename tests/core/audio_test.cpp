// Sound loading and playback: files made with sox, loaded from TFS, played
// through the codec into a WAV file and compared with sox's own rendering.
#include "core/audio.h"

#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/ostimer.h"
#include "core/syslog.h"
#include "gui/gui.h"
#include "platform/hw.h"
#include "platform/monitor.h"
#include "storage/nvram.h"
#include "core/adc.h"
#include "core/spi.h"
#include "engine/instad.h"
#include "support/board_fixture.h"
#include "ui/buttons.h"
#include "ui/knob.h"

namespace {

constexpr uint32_t DCSR12  = 0x40000030;
constexpr uint32_t DDADR12 = 0x400002C0;
constexpr uint32_t kRun    = 1u << 31;
constexpr int kAmps = 1, kAngle = 2, kBeep = 14;

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// A WAV file byte by byte, so that each header field can be made wrong.
struct WavParts {
    const char* riff = "RIFF";
    const char* wave = "WAVE";
    uint32_t fmtSize = 16;
    uint16_t format = 1, channels = 1;
    uint32_t rate = 22050;
    uint16_t blockAlign = 2, bits = 16;
    std::string extraChunk;          // a whole chunk placed before "data"
    bool data = true;
    uint32_t dataSize = 0;           // 0: the size of the samples given
    std::vector<int16_t> samples;
};

void Put(std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i));
}

std::string BuildWav(const WavParts& p) {
    std::string body;
    body += p.wave;
    body += "fmt ";
    Put(body, p.fmtSize, 4);
    Put(body, p.format, 2);
    Put(body, p.channels, 2);
    Put(body, p.rate, 4);
    Put(body, p.rate * p.blockAlign, 4);
    Put(body, p.blockAlign, 2);
    Put(body, p.bits, 2);
    if (p.fmtSize > 16) body += std::string(p.fmtSize - 16, '\0');
    body += p.extraChunk;
    if (p.data) {
        body += "data";
        Put(body, p.dataSize ? p.dataSize : static_cast<uint32_t>(p.samples.size() * 2), 4);
        for (int16_t v : p.samples) Put(body, static_cast<uint16_t>(v), 2);
    }
    std::string file = p.riff;
    Put(file, static_cast<uint32_t>(body.size()), 4);
    return file + body;
}

class AudioTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        char dir[] = "/tmp/kvaudioXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        SysLogOpen();
        ASSERT_EQ(InitAudio(), 0);
    }
    void TearDown() override {
        board().ac97().sink().Close();
        std::system(("rm -rf " + dir_).c_str());
        BoardTest::TearDown();
    }
    std::string Path(const char* name) const { return dir_ + "/" + name; }
    static void Run(const std::string& cmd) { ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd; }

    void AddSound(int id, const std::string& bytes) {
        ASSERT_EQ(mon_tfsadd(SoundFileNames[id], nullptr, nullptr, reinterpret_cast<const uint8_t*>(bytes.data()),
                             static_cast<int>(bytes.size())), 0);
    }
    void AddSoundFile(int id, const std::string& path) {
        std::vector<uint8_t> b = ReadFile(path);
        AddSound(id, std::string(b.begin(), b.end()));
    }
    // A tone made by sox: 16-bit, `frames` frames, one tone a channel.
    std::string SoxTone(int channels, int rate, int frames) {
        std::string path = Path("tone.wav");
        std::string tones = channels == 1 ? "sine 440" : "sine 440 sine 660";
        std::string format = "-r " + std::to_string(rate) + " -c " + std::to_string(channels);
        Run("sox " + format + " -n " + format + " -b 16 " + path +
            " synth " + std::to_string(frames) + "s " + tones + " vol 0.8");
        return path;
    }
    // Plays until the channel stops, at most 10 s of board time.
    static void PlayToEnd() {
        uint32_t start = ReadOsTimer();
        while ((HwRead32(DCSR12) & kRun) && !TicksElapsed(ReadOsTimer(), start, 10 * kTicksPerSecond)) HwIdle();
        ASSERT_FALSE(HwRead32(DCSR12) & kRun) << "still playing";
    }
    // Interleaved 16-bit samples of a WAV file, as sox reads them.
    std::vector<int16_t> Samples(const std::string& wav) {
        std::string raw = Path("samples.raw");
        Run("sox " + wav + " -t raw -e signed-integer -b 16 -L " + raw);
        std::vector<uint8_t> b = ReadFile(raw);
        std::vector<int16_t> s(b.size() / 2);
        std::memcpy(s.data(), b.data(), s.size() * 2);
        return s;
    }
    std::string Soxi(const std::string& option, const std::string& wav) {
        std::string cmd = "soxi " + option + " " + wav;
        FILE* p = popen(cmd.c_str(), "r");
        char buf[64] = {};
        if (p) {
            if (!std::fgets(buf, sizeof buf, p)) buf[0] = 0;
            pclose(p);
        }
        buf[strcspn(buf, "\n")] = 0;
        return buf;
    }
    std::string Log() {
        std::string text;
        const uint8_t* flash = board().flash().Data();
        for (uint32_t r = 0; r < kSysLogRecords; ++r) {
            const char* rec = reinterpret_cast<const char*>(flash + kSysLogSectorA * 0x20000 + r * 64);
            if (std::memchr(rec, 0, 64)) text += rec;
        }
        return text;
    }
    std::string dir_;
};

// Whole sounds at their own rate, mono doubled to both channels, at the
// master volume's attenuation, with the 32 bytes of silence the chain plays
// after the data; a mono sound too long for the buffer is cut at its end.
TEST_F(AudioTest, PlaysSoxSoundsWholeAtTheirRateAndVolume) {
    struct Case { const char* name; int channels, rate, frames, volume; uint16_t masterReg; };
    const Case cases[] = {
        {"mono 22050 Hz, full volume", 1, 22050, 11025, 100, 0x0000},
        {"stereo 44100 Hz, half volume", 2, 44100, 20000, 50, 0x2020},
        {"mono 8000 Hz, silent", 1, 8000, 3001, 0, 0x3F3F},
        {"stereo 48000 Hz, longest data", 2, 48000, 143992, 80, 0x0D0D},
        {"mono 32000 Hz, longer than the buffer", 1, 32000, 150000, 100, 0x0000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string src = SoxTone(c.channels, c.rate, c.frames);
        AddSoundFile(kAmps, src);
        ASSERT_EQ(LoadWavFile(kAmps), 0);
        NvSetU32(kNvMasterVolume, static_cast<uint32_t>(c.volume));
        std::string out = Path("out.wav");
        ASSERT_TRUE(board().ac97().sink().Open(out.c_str()));
        ASSERT_EQ(PlaySound(kAmps), 0);
        EXPECT_EQ(board().ac97().CodecRegister(0x2C), c.rate);
        EXPECT_EQ(board().ac97().CodecRegister(0x02), c.masterReg);
        PlayToEnd();
        ASSERT_TRUE(board().ac97().sink().Close());
        EXPECT_EQ(Soxi("-r", out), std::to_string(c.rate));
        EXPECT_EQ(Soxi("-c", out), "2");

        uint32_t a = c.masterReg & 63;
        char gain[32];
        std::snprintf(gain, sizeof gain, "%.9f", std::pow(10.0, -1.5 * a / 20.0));
        std::string ref = Path("ref.wav");
        Run("sox -D " + src + " " + ref + (c.channels == 1 ? " remix 1 1" : "") + " vol " + gain);
        std::vector<int16_t> want = Samples(ref);
        std::vector<int16_t> got = Samples(out);
        uint32_t dataBytes = static_cast<uint32_t>(c.frames) * 2 * c.channels + 32;
        uint32_t played = c.channels == 1 ? std::min(2 * dataBytes, kSoundDataBytes) : dataBytes;
        ASSERT_EQ(got.size(), played / 2);
        int worst = 0;
        size_t firstBad = got.size();
        for (size_t i = 0; i < got.size(); ++i) {
            int diff = std::abs(got[i] - (i < want.size() ? want[i] : 0));
            if (diff > 1 && firstBad == got.size()) firstBad = i;
            worst = std::max(worst, diff);
        }
        EXPECT_LE(worst, 1) << "first difference at sample " << firstBad;
    }
}

// The chain covers the data once in whole frames and stops after its last descriptor.
TEST_F(AudioTest, ChainCoversTheDataInWholeFrames) {
    struct Case { const char* name; int channels, frames; int32_t descLast; };
    const Case cases[] = {
        {"one descriptor", 2, 100, 0},
        {"exactly two chunks", 2, 2 * 2047 - 8, 1},
        {"odd mono sample count", 1, 4097, 2},
        {"longest data", 2, 143992, 70},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AddSoundFile(kAngle, SoxTone(c.channels, 44100, c.frames));
        ASSERT_EQ(LoadWavFile(kAngle), 0);
        const SoundRec& s = G_Sound[kAngle];
        EXPECT_EQ(s.nDescLast, c.descLast);
        EXPECT_EQ(s.header.nChannels, 2);
        EXPECT_EQ(s.header.nBlockAlign, 4);
        EXPECT_EQ(s.nFrames, static_cast<int32_t>(s.header.nDataSize / 4 + 1));
        uint32_t sum = 0;
        for (int32_t n = 0; n <= s.nDescLast; ++n) {
            const DmaDesc& d = G_SoundDesc[kAngle][n];
            uint32_t len = d.nCommand - 0x9003C000;
            EXPECT_EQ(len % 4, 0u) << "descriptor " << n;
            EXPECT_GT(len, 0u);
            EXPECT_EQ(d.nTarget, 0x40500040u);
            EXPECT_EQ(d.nSource, G_SoundDesc[kAngle][0].nSource + sum) << "descriptor " << n;
            EXPECT_EQ((d.nNext & 1) != 0, n == s.nDescLast) << "descriptor " << n;
            sum += len;
        }
        EXPECT_EQ(sum, s.header.nDataSize & ~3u);
        // The source is the record's data as the DMA sees it.
        EXPECT_EQ(HwMemory(G_SoundDesc[kAngle][0].nSource, 4), G_Sound[kAngle].abData);
    }
}

// Headers the conversion cannot play are refused with their line, the file
// is closed each time, and nothing past the file is read.
TEST_F(AudioTest, MalformedFilesAreRefused) {
    std::vector<int16_t> tone(400);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(1000 * std::sin(i * 0.1));
    auto with = [&](auto change) {
        WavParts p;
        p.samples = tone;
        change(p);
        return BuildWav(p);
    };
    std::string good = with([](WavParts&) {});
    std::string noData = with([](WavParts& p) { p.data = false; });
    noData += std::string(40, 'x');
    struct Case { const char* name; std::string bytes; const char* line; };
    const Case cases[] = {
        {"not RIFF", with([](WavParts& p) { p.riff = "RIFX"; }), "ERROR: FileType: RIFX\n"},
        {"not WAVE", with([](WavParts& p) { p.wave = "AVI "; }), "ERROR: Format: AVI \n"},
        {"fmt too short", with([](WavParts& p) { p.fmtSize = 14; }), "ERROR: HeaderSize: 14\n"},
        {"float samples", with([](WavParts& p) { p.format = 3; }), "ERROR: AudioFormat: 3\n"},
        {"no channels", with([](WavParts& p) { p.channels = 0; }), "ERROR: Channels: 0\n"},
        {"three channels", with([](WavParts& p) { p.channels = 3; p.blockAlign = 6; }), "ERROR: Channels: 3\n"},
        {"8-bit samples", with([](WavParts& p) { p.bits = 8; p.blockAlign = 1; }), "ERROR: BitsPerSample: 8\n"},
        {"block align 0", with([](WavParts& p) { p.blockAlign = 0; }), "ERROR: BlockAlign: 0\n"},
        {"rate 0", with([](WavParts& p) { p.rate = 0; }), "ERROR: SampleRate: 0\n"},
        {"rate above the codec", with([](WavParts& p) { p.rate = 96000; }), "ERROR: SampleRate: 96000\n"},
        {"no data chunk", noData, "ERROR: No DATA Chunk\n"},
        {"data too long", with([](WavParts& p) { p.dataSize = 575969; }), "ERROR: DataSize: 575969\n"},
        {"data past the end", with([](WavParts& p) { p.dataSize = 1000; }), "ERROR: Short DATA: 1000\n"},
        {"cut in the header", good.substr(0, 30), "ERROR: Short Header\n"},
        {"empty file", "", "ERROR: FileType: \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AddSound(kAmps, c.bytes);
        size_t before = Log().size();
        EXPECT_EQ(LoadWavFile(kAmps), -1);
        EXPECT_EQ(G_Sound[kAmps].bValid, 0);
        EXPECT_EQ(Log().substr(before), std::string("Loading AMPS.KVW\n") + c.line);
    }
    // After all those refusals a good file still opens and loads.
    AddSound(kAmps, good);
    EXPECT_EQ(LoadWavFile(kAmps), 0);
    EXPECT_EQ(G_Sound[kAmps].bValid, 1);

    size_t before = Log().size();
    uint32_t t0 = ReadOsTimer();
    EXPECT_EQ(LoadWavFile(kAngle), -1);
    EXPECT_GE(ReadOsTimer() - t0, 368600u);
    EXPECT_EQ(Log().substr(before), "ERROR: ANGLE.KVW: -1\n");
    EXPECT_EQ(LoadWavFile(0), -1);
    EXPECT_EQ(LoadWavFile(kSoundSlots), -1);
}

// A longer fmt chunk and other chunks before the data are passed over.
TEST_F(AudioTest, FmtExtrasAndOtherChunksArePassedOver) {
    std::vector<int16_t> tone = {100, -200, 300, -400, 500};
    struct Case { const char* name; uint32_t fmtSize; std::string chunk; };
    const Case cases[] = {
        {"fmt of 18 bytes", 18, ""},
        {"a LIST chunk first", 16, std::string("LIST\x04\0\0\0abcd", 12)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WavParts p;
        p.fmtSize = c.fmtSize;
        p.extraChunk = c.chunk;
        p.samples = tone;
        AddSound(kAmps, BuildWav(p));
        ASSERT_EQ(LoadWavFile(kAmps), 0);
        const SoundRec& s = G_Sound[kAmps];
        EXPECT_EQ(s.header.nDataSize, 2 * (10u + 32u));
        int16_t frames[2 * 6];
        std::memcpy(frames, s.abData, sizeof frames);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(frames[2 * i], tone[i]);
            EXPECT_EQ(frames[2 * i + 1], tone[i]);
        }
        EXPECT_EQ(frames[10], 0);
    }
}

// Ids without a usable sound play BEEP; with no BEEP either nothing plays.
TEST_F(AudioTest, UnusableIdsPlayBeep) {
    WavParts p;
    p.samples = std::vector<int16_t>(2000, 1234);   // one descriptor, longer than the checks
    AddSound(kBeep, BuildWav(p));
    ASSERT_EQ(LoadWavFile(kBeep), 0);
    AddSound(kAmps, "junk");
    LoadWavFile(kAmps);
    uint32_t beepChain = 0xA0800000 + kBeep * kSoundDescMax * 16;
    struct Case { int32_t id; const char* line; };
    const Case cases[] = {
        {0, "PlaySound NONE, Vol:0\nERROR: Select BEEP\n"},
        {-1, "PlaySound ?, Vol:0\nERROR: Select BEEP\n"},
        {kSoundSlots, "PlaySound ?, Vol:0\nERROR: Select BEEP\n"},
        {-2000000000, "PlaySound ?, Vol:0\nERROR: Select BEEP\n"},
        {kAmps, "PlaySound AMPS, Vol:0\nERROR: Select BEEP\n"},
        {kBeep, "PlaySound BEEP, Vol:0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        HwWrite32(DDADR12, 0);
        size_t before = Log().size();
        EXPECT_EQ(PlaySound(c.id), 0);
        EXPECT_EQ(Log().substr(before), c.line);
        EXPECT_EQ(HwRead32(DDADR12), beepChain | 1) << "fetched BEEP's only descriptor";
        EXPECT_TRUE(HwRead32(DCSR12) & kRun);
    }
    PlayToEnd();
    G_Sound[kBeep].bValid = 0;
    size_t before = Log().size();
    EXPECT_EQ(PlaySound(kAmps), -1);
    EXPECT_EQ(Log().substr(before), "PlaySound AMPS, Vol:0\nERROR: Select BEEP\nBEEP, validData Flag: FALSE\n");
    EXPECT_FALSE(HwRead32(DCSR12) & kRun);
}

// A new sound cuts off the one playing: the output is the start of the
// first, then the whole second at its own rate.
TEST_F(AudioTest, NewSoundCutsOffTheCurrent) {
    NvSetU32(kNvMasterVolume, 100);
    WavParts first;
    first.rate = 16000;
    first.samples = std::vector<int16_t>(16000, 1111);   // one second
    WavParts second;
    second.rate = 16000;
    second.samples = std::vector<int16_t>(800, -2222);
    AddSound(kAmps, BuildWav(first));
    AddSound(kAngle, BuildWav(second));
    ASSERT_EQ(LoadWavFile(kAmps), 0);
    ASSERT_EQ(LoadWavFile(kAngle), 0);
    std::string out = Path("out.wav");
    ASSERT_TRUE(board().ac97().sink().Open(out.c_str()));
    PlaySound(kAmps);
    DelayTicks(kTicksPerSecond / 10);
    PlaySound(kAngle);
    PlayToEnd();
    ASSERT_TRUE(board().ac97().sink().Close());
    std::vector<int16_t> got = Samples(out);
    size_t secondFrames = 800 + 16;
    ASSERT_GT(got.size(), 2 * secondFrames);
    size_t firstFrames = got.size() / 2 - secondFrames;
    // About 0.1 s of the first (the codec writes in between take a little time).
    EXPECT_NEAR(static_cast<double>(firstFrames), 1600.0, 40.0);
    for (size_t i = 0; i < firstFrames * 2; ++i) ASSERT_EQ(got[i], 1111) << i;
    for (size_t i = firstFrames * 2; i < firstFrames * 2 + 1600; ++i) ASSERT_EQ(got[i], -2222) << i;
}

// The codec is set up for variable-rate playback at 44,100 Hz and the DMA
// request goes to channel 12; loaded sounds of an earlier start are forgotten.
TEST_F(AudioTest, InitAudioSetsUpTheLinkAndForgetsOldSounds) {
    EXPECT_EQ(board().ac97().CodecRegister(0x2A), 1);
    EXPECT_EQ(board().ac97().CodecRegister(0x6A), 64);
    EXPECT_EQ(board().ac97().CodecRegister(0x2C), 44100);
    EXPECT_EQ(board().ac97().Gcr() & 0x102u, 0x102u);
    EXPECT_EQ(board().dma().Drcmr(12), 0x8Cu);
    EXPECT_EQ(board().gpio().AltFunction(28), 1u);
    EXPECT_EQ(board().gpio().AltFunction(31), 2u);
    WavParts p;
    p.samples = std::vector<int16_t>(50, 1);
    AddSound(kBeep, BuildWav(p));
    ASSERT_EQ(LoadWavFile(kBeep), 0);
    InitAudio();
    EXPECT_EQ(G_Sound[kBeep].bValid, 0);
}

// Without the link the codec never answers: each write times out after 1 ms and says so.
TEST_F(AudioTest, CodecTimeOutsAreLogged) {
    WavParts p;
    p.samples = std::vector<int16_t>(50, 1);
    AddSound(kBeep, BuildWav(p));
    ASSERT_EQ(LoadWavFile(kBeep), 0);
    HwWrite32(0x4050000C, 0);   // cold reset held
    size_t before = Log().size();
    uint32_t t0 = ReadOsTimer();
    PlaySound(kBeep);
    EXPECT_GE(ReadOsTimer() - t0, 2 * 3686u);
    EXPECT_EQ(Log().substr(before), "PlaySound BEEP, Vol:0\nCodec Write Timed Out\nCodec Write Timed Out\n");
}

// The volume menu plays each sound found in turn for 3 s with the alarm
// output high, turns the knob's delta into volume at once, and on soft key 5
// stores it; soft key 1 leaves the stored volume as it was. Both end when
// the sound period is over, with the output low and the mailboxes empty.
TEST_F(AudioTest, SoundMenuAdjustsAndStoresTheVolume) {
    GUI_Init();   // the calibration mode's boot screen has drawn before
    // On line power, so that the menu's battery check stays quiet.
    InitSsp();
    InitAdcTable();
    PrimeVoltChannels();
    HwWrite32(0x40E0000C, HwRead32(0x40E0000C) | 1u << 5);   // the alarm output, as at start
    HwWrite32(0x40E00018, 1u << 5);
    WavParts p;
    p.samples = std::vector<int16_t>(100, 1);
    AddSound(kAngle, BuildWav(p));
    AddSound(kBeep, BuildWav(p));
    struct Case { int32_t key; uint32_t stored; };
    const Case cases[] = {{5, 30}, {17, 0}, {21, 30}, {1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        NvSetU32(kNvMasterVolume, 0);
        G_KeyEvent = c.key;
        G_Knob0.nDelta = 30;
        size_t before = Log().size();
        uint32_t t0 = ReadOsTimer();
        SoundMenu();
        uint32_t took = ReadOsTimer() - t0;
        EXPECT_GE(took, 11075584u);
        EXPECT_LT(took, 11075584u + kTicksPerSecond);
        EXPECT_EQ(Log().substr(before),
                  "Found ANGLE.KVW\nLoading ANGLE.KVW\nLoaded ANGLE.KVW, numSounds:1\n"
                  "Found BEEP.KVW\nLoading BEEP.KVW\nLoaded BEEP.KVW, numSounds:2\n"
                  "PlaySound ANGLE, Vol:0\n");
        EXPECT_EQ(board().ac97().CodecRegister(0x02), 0x2D2D) << "volume 30 at once";
        EXPECT_EQ(NvGetU32(kNvMasterVolume), c.stored);
        EXPECT_FALSE(board().gpio().Level(5));
        EXPECT_EQ(G_KeyEvent, 0);
        EXPECT_EQ(G_Knob0.nDelta, 0);
    }
}

TEST_F(AudioTest, SoundMenuWithoutSoundsSaysSo) {
    GUI_Init();
    size_t before = Log().size();
    uint32_t t0 = ReadOsTimer();
    SoundMenu();
    EXPECT_GE(ReadOsTimer() - t0, 7372800u);
    EXPECT_EQ(Log().substr(before), "No Sounds i:18, testSound[0]:0\n");
}

}  // namespace
