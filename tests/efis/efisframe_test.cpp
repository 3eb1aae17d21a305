// Board time of the EFIS frame: each layout's composition, everything on,
// stays within half the 50 ms frame period in OS-timer ticks.
#include "efis/boxes.h"
#include "efis_fixture.h"
#include "nav/autopilot.h"

namespace {

constexpr uint32_t kHalfFrameTicks = 92160;   // 25 ms

TEST_F(EfisPageTest, FrameCostWithinHalfTheFramePeriodOnEveryLayout) {
    G_NetStreamCfg[kStreamAoa].INST = 1;
    G_AoaCfg.nEnable = 1;
    NvSetU32(kNvAoaGaugeOn, 1);
    G_InstCfg[kInstOat].nEnable = 1;
    NvSetU32(kNvGMeterOn, 1);
    NvSetU32(kNvWindsGaugeOn, 1);
    G_Autopilot.bOutput = 1;
    GpsCourse(300, 40, true, 20);
    G_NavSrc.hdr.nFlags0 |= kNavHdrHdgSteer;
    G_NavSrc.hdr.MAP_LATLON_PORT = 1;
    G_NavSrc.rec[0].nPort = 1;
    Attitude(-250, 800, 1200);
    Air(1150, 5600, -700);
    CalcWind();
    for (int32_t page : {2, 3, 5, 6, 9, 10, 13, 17, 19, 30, 34, 4, 14, 32, 36}) {
        Page(page);
        Draw();   // the first frame after a change of screen
        const uint32_t t0 = ReadOsTimer();
        Draw();
        const uint32_t ticks = ReadOsTimer() - t0;
        EXPECT_LE(ticks, kHalfFrameTicks) << page;
    }
}

}  // namespace
