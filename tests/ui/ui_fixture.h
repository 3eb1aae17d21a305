// A board with the 1 ms tick running, the buttons and the knob set up, and
// helpers that drive the front panel through the emulated GPIO lines.
#pragma once
#include <vector>

#include "core/irq.h"
#include "core/ostimer.h"
#include "core/alarm.h"
#include "core/boot.h"
#include "core/syslog.h"
#include <cstring>
#include <string>
#include "gui/gui.h"
#include "platform/hw.h"
#include "support/board_fixture.h"
#include "ui/buttons.h"
#include "storage/nvram.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/statusbar.h"

class UiTest : public BoardTest {
protected:
    static constexpr uint64_t kMs = kTicksPerMs;

    void SetUp() override {
        BoardTest::SetUp();
        RunApp([] {
            InitOsTimer();
            InstallHandlers();
            IrqStateInit();
            ClearGlobals();
            G_KeyEnableMask = 0xFFFF;   // as at power-up: no button disabled by an earlier case
            InitRamLog(0);
            SysLogOpen();
            GUI_Init();
            InitButtons();
            InitKnobs();
            HwWrite32(OSMR0, ReadOsTimer() + kTickTicks);
            HwWrite32(OIER, HwRead32(OIER) | 1);
            IntEnable(kIntOsTimer0);
        });
        for (int pin = 58; pin <= 65; ++pin) board().gpio().SetInput(pin, pin < 64);   // buttons up, knob low
        board().Reschedule();
    }

    uint64_t At(double ms) const { return start_ + static_cast<uint64_t>(ms * kMs); }

    // Button 1..6 pressed from `fromMs` for `lengthMs` after the run starts.
    void Press(int button, double fromMs, double lengthMs) {
        board().gpio().ScheduleInput(At(fromMs), 57 + button, false);
        board().gpio().ScheduleInput(At(fromMs + lengthMs), 57 + button, true);
    }

    // n detents (sign = direction) starting at fromMs, spacingMs apart.
    void Turn(int n, double fromMs, double spacingMs) {
        const int count = n < 0 ? -n : n;
        for (int i = 0; i < count; ++i) {
            const double t = fromMs + i * spacingMs;
            board().gpio().ScheduleInput(At(t), 64, n < 0);
            board().gpio().ScheduleInput(At(t + 0.5), 65, true);
            board().gpio().ScheduleInput(At(t + 2), 65, false);
        }
    }

    // Runs the board for `ms`, taking every key code and knob delta from the
    // mailboxes as the main loop would.
    void Run(double ms) {
        const uint64_t end = At(ms);
        board().Reschedule();
        RunApp([&] {
            while (board().Now() < end) {
                if (G_KeyEvent != 0) {
                    keys_.push_back(G_KeyEvent);
                    G_KeyEvent = 0;
                }
                if (G_Knob0.nDelta != 0) {
                    deltas_.push_back(G_Knob0.nDelta);
                    G_Knob0.nDelta = 0;
                }
                HwIdle();
            }
        });
    }

    void Restart() {
        start_ = board().Now();
        keys_.clear();
        deltas_.clear();
    }

    // The system log lines kept in flash.
    std::string SysLog() {
        std::string text;
        const uint8_t* flash = board().flash().Data();
        for (uint32_t sector : {kSysLogSectorA, kSysLogSectorB})
            for (uint32_t r = 0; r < kSysLogRecords; ++r) {
                const char* rec = reinterpret_cast<const char*>(flash + sector * 0x20000 + r * kSysLogRecordBytes);
                if (std::memchr(rec, 0, kSysLogRecordBytes)) text += rec;
            }
        return text;
    }

    uint64_t start_ = 0;
    std::vector<int32_t> keys_;
    std::vector<int32_t> deltas_;
};

// Air data, AHRS and engine installed, every screen enabled, on page 3.
class MainPagesTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        for (int s : {kStreamAir, kStreamAhrs, kStreamEngine}) G_NetStreamCfg[s].INST = 1;
        RunApp([] {
            G_AlarmCur = -1;   // no alarm shown: key 1 steps back, the other keys act
            CalcAvailScreens();
            NvSetU32(kNvScreenEnable, kScreenMaskReset);
            G_CurPage = 3;
            ResetKnobAllow();
            InitScreenConfig();
            UpdateSoftKeys();
        });
    }
};
