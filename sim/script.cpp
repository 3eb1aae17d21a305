#include "sim/script.h"

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "sim/screenshot.h"

using platform::Board;
using platform::HostEvent;

namespace {

enum Kind : int32_t {
    kPinLevel = 1, kScreenshot = 2, kAirAdcInput = 3, kEngineAdcInput = 4, kPulseTrain = 5, kNetLink = 6, kNetDrop = 7,
    kCard = 8, kTimeMode = 9
};

constexpr int kFirstButtonPin = 58;
constexpr int kPhaseB = 64, kPhaseA = 65;
constexpr int kFirstInputPin = 74;      // discrete inputs 1..3 on GPIO74..76
// Air-data converter inputs of the supplies.
constexpr int kAdcBatVolts = 2, kAdcAuxVolts = 3, kAdcMainVolts = 6;
constexpr int kFlowPin = 71, kRpmPin = 72;   // fuel-flow and RPM pulse inputs
constexpr double kMaxPulseHz = 20000;       // well above any sensor; keeps a period of many ticks
constexpr double kMinPulseHz = 0.01;        // the period still fits an event argument
constexpr double kMaxSeconds = 1e6;         // any time or length; its ticks fit 64 bits
constexpr double kRampStepSeconds = 0.025;  // one air-data sampling period
constexpr long kMaxRampSteps = 1000;        // a long ramp takes coarser steps, not the whole queue

// Paths of the screenshots, indexed by the event; filled before the board
// starts, so every application process inherits them.
std::vector<std::string> g_shots;

void ApplyEvent(Board& board, const HostEvent& e) {
    switch (e.kind) {
    case kPinLevel:
        board.gpio().SetInput(e.arg[0], e.arg[1] != 0);
        break;
    case kScreenshot: {
        std::string error;
        const size_t i = static_cast<size_t>(e.arg[0]);
        if (i < g_shots.size() && !WriteScreenshotPng(board.display(), g_shots[i].c_str(), error))
            std::fprintf(stderr, "kv5100: script screenshot: %s\n", error.c_str());
        break;
    }
    case kAirAdcInput:
        board.airAdc().SetInput(e.arg[0], static_cast<uint16_t>(e.arg[1]));
        break;
    case kEngineAdcInput:
        board.engineAdc().SetInput(e.arg[0], e.arg[1], static_cast<uint16_t>(e.arg[2]));
        break;
    case kPulseTrain:
        // The first rising edge falls at the line's own time; period 0 stops the train.
        board.gpio().SetPulseTrain(e.arg[0], e.at, static_cast<uint32_t>(e.arg[1]), 0);
        break;
    case kNetLink:
        board.cs8900().SetLinkDown(e.arg[0] == 0);
        break;
    case kNetDrop:
        board.cs8900().LoseNext(e.arg[0]);
        break;
    case kCard:
        // The card behind the slot is the --sd image: taken out and put back.
        if (e.arg[0] == 0) board.mmc().Remove();
        else if (!board.mmc().Insert()) std::fprintf(stderr, "kv5100: script card in: no --sd image\n");
        break;
    case kTimeMode:
        board.SetTimeMode(e.arg[0] != 0 ? platform::TimeMode::Real : platform::TimeMode::Virtual);
        break;
    default:
        break;
    }
}

uint64_t Ticks(double seconds) { return static_cast<uint64_t>(seconds * platform::kOsTimerHz + 0.5); }

struct Parser {
    Board& board;
    std::string where;
    int line = 0;
    std::string error;
    // What each air-data input holds once the lines so far have run, and the
    // end of a ramp on it, which a later level may not cut into.
    long airLevel[platform::AirAdc::kInputs] = {};
    uint64_t airBusyUntil[platform::AirAdc::kInputs] = {};
    bool airKnown = false;

    bool Fail(const std::string& what) {
        error = where + ":" + std::to_string(line) + ": " + what;
        return false;
    }
    bool Add(uint64_t at, int32_t kind, int32_t a0, int32_t a1 = 0, int32_t a2 = 0) {
        if (!board.hostEvents().Add(HostEvent{at, kind, {a0, a1, a2}})) return Fail("too many events");
        return true;
    }
    bool Pin(uint64_t at, int pin, bool level) { return Add(at, kPinLevel, pin, level ? 1 : 0); }

    bool Key(std::istringstream& in, int& pin) {
        int key = 0;
        if (!(in >> key) || key < 1 || key > 6) return Fail("KEY is 1..6");
        pin = kFirstButtonPin + key - 1;
        return true;
    }

    // A whole number in [lo, hi] from the line, or a message naming what.
    bool Number(std::istringstream& in, long lo, long hi, const char* what, long& out) {
        std::string word;
        char* end = nullptr;
        if (in >> word) out = std::strtol(word.c_str(), &end, 10);
        if (word.empty() || *end || out < lo || out > hi)
            return Fail(std::string(what) + " is " + std::to_string(lo) + ".." + std::to_string(hi));
        return true;
    }

    // A level or a ramp may not cut into a ramp still running on its input.
    bool AirFree(uint64_t at, int input) {
        if (!airKnown) {
            for (int i = 0; i < platform::AirAdc::kInputs; ++i) airLevel[i] = board.airAdc().Input(i);
            airKnown = true;
        }
        if (at < airBusyUntil[input]) return Fail("air input " + std::to_string(input) + " is still ramping");
        return true;
    }
    // Sets the input to `counts` at `at`, keeping its level for later ramps.
    bool AirLevel(uint64_t at, int input, long counts) {
        if (!AirFree(at, input)) return false;
        airLevel[input] = counts;
        return Add(at, kAirAdcInput, input, static_cast<int32_t>(counts));
    }

    // From the input's present level to `counts` in equal steps over `seconds`;
    // the last step lands on `counts` exactly at the end.
    bool AirRamp(uint64_t at, int input, long counts, double seconds) {
        if (!AirFree(at, input)) return false;
        const long from = airLevel[input];
        const long steps = std::max(1L, std::min({std::labs(counts - from),
                                                  static_cast<long>(seconds / kRampStepSeconds), kMaxRampSteps}));
        for (long k = 1; k <= steps; ++k) {
            const double share = static_cast<double>(k) / static_cast<double>(steps);
            const long level = from + std::lround(static_cast<double>(counts - from) * share);
            if (!AirLevel(at + Ticks(seconds * share), input, level)) return false;
        }
        airBusyUntil[input] = at + Ticks(seconds);
        return true;
    }

    // adc engine INPUT CODE|all COUNTS, adc air INPUT COUNTS [SECONDS]
    bool Adc(uint64_t at, std::istringstream& in) {
        std::string which;
        long input = 0, code = -1, counts = 0;
        in >> which;
        if (which == "air") {
            if (!Number(in, 0, platform::AirAdc::kInputs - 1, "air INPUT", input) ||
                !Number(in, 0, 0xFFFF, "air COUNTS", counts))
                return false;
            std::string word;
            if (!(in >> word)) return AirLevel(at, static_cast<int>(input), counts);
            char* end = nullptr;
            const double seconds = std::strtod(word.c_str(), &end);
            if (*end || !(seconds > 0) || seconds > kMaxSeconds) return Fail("air ramp SECONDS is above 0, at most 1000000");
            return AirRamp(at, static_cast<int>(input), counts, seconds);
        }
        if (which != "engine") return Fail("adc takes engine or air");
        if (!Number(in, 0, platform::EngineAdc::kInputs - 1, "engine INPUT", input)) return false;
        std::string word;
        const std::streampos mark = in.tellg();
        if (!(in >> word) || word != "all") {
            in.clear();
            in.seekg(mark);
            if (!Number(in, 0, platform::EngineAdc::kCodes - 1, "engine CODE (or all)", code)) return false;
        }
        return Number(in, 0, 4095, "engine COUNTS", counts) &&
               Add(at, kEngineAdcInput, static_cast<int32_t>(input), static_cast<int32_t>(code),
                   static_cast<int32_t>(counts));
    }

    // pulses rpm|flow HZ
    bool Pulses(uint64_t at, std::istringstream& in) {
        std::string which, rate;
        in >> which;
        if (which != "rpm" && which != "flow") return Fail("pulses takes rpm or flow");
        char* end = nullptr;
        const double hz = (in >> rate) ? std::strtod(rate.c_str(), &end) : -1;
        if (rate.empty() || *end || !(hz == 0 || (hz >= kMinPulseHz && hz <= kMaxPulseHz)))
            return Fail("pulses HZ is 0 (stop) or 0.01..20000");
        const double period = hz > 0 ? platform::kOsTimerHz / hz + 0.5 : 0;
        return Add(at, kPulseTrain, which == "rpm" ? kRpmPin : kFlowPin, static_cast<int32_t>(period));
    }

    bool Event(uint64_t at, const std::string& verb, std::istringstream& in) {
        int pin = 0;
        if (verb == "press") {
            double seconds = 0.1;
            if (!Key(in, pin)) return false;
            if (in >> seconds, in.fail() && !in.eof()) return Fail("bad press length");
            if (!(seconds >= 0.01)) return Fail("a press lasts at least 0.01 s (the debounce)");
            if (seconds > kMaxSeconds) return Fail("a press lasts at most 1000000 s");
            return Pin(at, pin, false) && Pin(at + Ticks(seconds), pin, true);
        }
        if (verb == "hold") return Key(in, pin) && Pin(at, pin, false);
        if (verb == "release") return Key(in, pin) && Pin(at, pin, true);
        if (verb == "knob") {
            int n = 0;
            double spacing = 0.1;
            if (!(in >> n) || n == 0 || n > 1000 || n < -1000) return Fail("knob takes a detent count");
            if (in >> spacing, in.fail() && !in.eof()) return Fail("bad knob spacing");
            if (!(spacing >= 0.004)) return Fail("detents are at least 0.004 s apart");
            if (spacing > kMaxSeconds) return Fail("detents are at most 1000000 s apart");
            for (int i = 0; i < std::abs(n); ++i) {
                const uint64_t t = at + Ticks(spacing * i);
                // Phase B gives the direction; the rising edge of phase A counts a detent.
                if (!Pin(t, kPhaseB, n < 0) || !Pin(t + Ticks(0.0005), kPhaseA, true) ||
                    !Pin(t + Ticks(0.002), kPhaseA, false))
                    return false;
            }
            return true;
        }
        if (verb == "input") {
            // Discrete input N: "on" pulls its pin low (active), "off" lets it go high.
            int n = 0;
            std::string level;
            if (!(in >> n) || n < 1 || n > 3) return Fail("INPUT is 1..3");
            if (!(in >> level) || (level != "on" && level != "off")) return Fail("input takes on or off");
            return Pin(at, kFirstInputPin + n - 1, level == "off");
        }
        if (verb == "screenshot") {
            std::string file;
            if (!(in >> file)) return Fail("screenshot takes a file name");
            g_shots.push_back(file);
            return Add(at, kScreenshot, static_cast<int32_t>(g_shots.size() - 1));
        }
        if (verb == "supply") {
            std::string what;
            in >> what;
            platform::AirAdc& adc = board.airAdc();
            if (what == "off") return AirLevel(at, kAdcMainVolts, 0) && AirLevel(at, kAdcAuxVolts, 0);
            // Back to the levels the board started with.
            if (what == "on")
                return AirLevel(at, kAdcMainVolts, adc.Input(kAdcMainVolts)) &&
                       AirLevel(at, kAdcAuxVolts, adc.Input(kAdcAuxVolts));
            int counts = -1;
            if (what == "battery" && (in >> counts) && counts >= 0 && counts <= 0xFFFF)
                return AirLevel(at, kAdcBatVolts, counts);
            return Fail("supply takes off, on or battery COUNTS (0..65535)");
        }
        if (verb == "net") {
            std::string what, level;
            int n = -1;
            in >> what;
            if (what == "link" && (in >> level) && (level == "on" || level == "off"))
                return Add(at, kNetLink, level == "on" ? 1 : 0);
            if (what == "drop" && (in >> n) && n >= 0 && n <= 1000000) return Add(at, kNetDrop, n);
            return Fail("net takes link on|off or drop N (frames lost on the wire)");
        }
        if (verb == "card") {
            std::string what;
            if (!(in >> what) || (what != "in" && what != "out")) return Fail("card takes in or out");
            return Add(at, kCard, what == "in" ? 1 : 0);
        }
        if (verb == "time") {
            std::string mode;
            if (!(in >> mode) || (mode != "virtual" && mode != "real")) return Fail("time takes virtual or real");
            return Add(at, kTimeMode, mode == "real" ? 1 : 0);
        }
        if (verb == "adc") return Adc(at, in);
        if (verb == "pulses") return Pulses(at, in);
        return Fail("unknown event " + verb);
    }

    bool Parse(const std::string& text) {
        std::istringstream lines(text);
        std::string s;
        double last = 0;
        while (std::getline(lines, s)) {
            ++line;
            const size_t hash = s.find('#');
            if (hash != std::string::npos) s.resize(hash);
            std::istringstream in(s);
            std::string when, verb;
            if (!(in >> when)) continue;
            char* end = nullptr;
            const bool relative = when[0] == '+';
            const double v = std::strtod(when.c_str() + (relative ? 1 : 0), &end);
            if (*end || !(v >= 0) || v > kMaxSeconds) return Fail("bad time " + when);
            const double t = relative ? last + v : v;
            if (t < last) return Fail("times must not go back");
            last = t;
            if (!(in >> verb)) return Fail("missing event");
            if (!Event(Ticks(t), verb, in)) return false;
            std::string extra;
            if (in.clear(), in >> extra) return Fail("unexpected " + extra);
        }
        return true;
    }
};

}  // namespace

bool LoadScriptText(Board& board, const std::string& text, const std::string& where, std::string& error) {
    board.hostEvents().SetHandler(ApplyEvent);
    Parser p{board, where};
    if (!p.Parse(text)) {
        error = p.error;
        return false;
    }
    return true;
}

// Live input: the window's events reach the application process through the
// same queue, a little ahead of its time so they are whole before they fall due.
constexpr uint64_t kLiveLead = platform::kOsTimerHz / 100;
constexpr uint64_t kLiveMinPress = platform::kOsTimerHz / 20;   // well past the debounce
constexpr uint64_t kLiveDetent = platform::kOsTimerHz / 50;    // a wheel burst turns fast, not at once
constexpr int kLiveButtons = 6;

struct LiveState {
    uint64_t pressedAt[kLiveButtons + 1];
    uint64_t nextDetent;
};
LiveState g_live = {};

bool QueueControl(Board& board, const ControlInput& input) {
    board.hostEvents().SetHandler(ApplyEvent);
    Parser p{board, "window"};
    const uint64_t now = board.Now() + kLiveLead;
    switch (input.kind) {
    case ControlInput::Press:
    case ControlInput::Release: {
        const int key = input.arg;
        if (key < 1 || key > kLiveButtons) return true;
        const int pin = kFirstButtonPin + key - 1;
        if (input.kind == ControlInput::Press) {
            g_live.pressedAt[key] = now;
            return p.Pin(now, pin, false);
        }
        // A tap shorter than a frame still reaches the unit as a press.
        return p.Pin(std::max(now, g_live.pressedAt[key] + kLiveMinPress), pin, true);
    }
    case ControlInput::Knob:
        for (int i = 0; i < std::abs(input.arg) && i < 1000; ++i) {
            const uint64_t t = std::max(now, g_live.nextDetent);
            g_live.nextDetent = t + kLiveDetent;
            if (!p.Pin(t, kPhaseB, input.arg < 0) || !p.Pin(t + Ticks(0.0005), kPhaseA, true) ||
                !p.Pin(t + Ticks(0.002), kPhaseA, false))
                return false;
        }
        return true;
    case ControlInput::None:
        break;
    }
    return true;
}

bool LoadScript(Board& board, const std::string& path, std::string& error) {
    std::ifstream f(path);
    if (!f) {
        error = "cannot read " + path;
        return false;
    }
    std::stringstream all;
    all << f.rdbuf();
    return LoadScriptText(board, all.str(), path, error);
}
