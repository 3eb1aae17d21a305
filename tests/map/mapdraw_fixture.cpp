#include "map/mapdraw_fixture.h"

#include <cstring>

#include "core/boot.h"
#include "core/irq.h"
#include "core/syslog.h"
#include "gui/gui.h"
#include "map/map.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "nav/navsrc.h"
#include "ui/pages.h"

void MapDrawTest::SetUp() {
    BoardTest::SetUp();
    RunApp([] {
        SysLogOpen();
        SetUpFullMapPane();
    });
}

uint8_t* MapDrawTest::Frame() { return board().display().Memory(); }

int MapDrawTest::Count(uint8_t colour, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) n += Band(x, y) == colour;
    return n;
}

void MapDrawTest::FillBand(uint8_t colour) { std::memset(Frame() + 960 * 640, colour, 480 * 640); }

void MapDrawTest::MapAt(double lat, double lon, int16_t track, int16_t speed) {
    NavSrcRec& r = G_NavSrc.rec[0];
    r.nGpsFlagsA = kNavGpsValid;
    r.nGpsFlagsB = kNavGpsOwnPos;
    r.fLat = static_cast<float>(lat);
    r.fLon = static_cast<float>(lon);
    r.nTrackTrue = track;
    r.nGroundSpeed = speed;
    MapReferenceAt(lat, lon);
}
