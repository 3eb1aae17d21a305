// The engine CSV stream as a recorder on the serial line receives it.
#include "core/irq.h"
#include "core/serial.h"
#include "engine/engine.h"
#include "engine_fixture.h"
#include "platform/hw.h"

namespace {

class CsvTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        InstallHandlers();
        IrqStateInit();
        HwWrite32(0x40A00004, ReadOsTimer() + kTickTicks);   // OSMR0: the 1 ms tick
        HwWrite32(0x40A0001C, HwRead32(0x40A0001C) | 1);     // OIER
        IntEnable(kIntOsTimer0 | kIntStUart | kIntBtUart | kIntFfUart);
        G_Serial[3].nFunction = 13;
        SetSerialBaud(3, 3);
        G_EngCsvPort = 3;
    }
    // The byte sum of a line before its checksum, as the recorder checks it.
    static unsigned Sum(const std::string& line) {
        unsigned s = 0;
        for (size_t i = 0; i + 6 < line.size(); ++i) s += static_cast<uint8_t>(line[i]);
        return s & 0xFFFF;
    }
};

TEST_F(CsvTest, FirstCycleSendsConfigurationHeaderAndData) {
    G_InstReading[kInstRpm] = {};
    G_InstReading[kInstRpm].nValue = 24000, G_InstReading[kInstRpm].bValid = 1;
    G_InstReading[26].nValue = 13795, G_InstReading[26].bValid = 1;
    G_InstReading[kInstOat].nValue = -123, G_InstReading[kInstOat].bValid = 1;
    SendEngineCsvHeader();
    SendEngineCsvData();
    // The main loop's transmit service while the line drains.
    const uint64_t end = board().Now() + kTicksPerSecond / 2;
    while (board().Now() < end) {
        if (G_Serial[3].bTxReady) {
            G_Serial[3].bTxReady = 0;
            SerialTxService(3);
        }
        HwIdle();
    }
    static char buf[4096];
    const std::string wire(buf, static_cast<size_t>(board().serialLine(3).CopySent(buf, sizeof buf)));
    const std::string cfg = "CFG,7,5,0,7,7,02E2\r\n";
    const std::string hdr =
        "HDR,AMP1,C1,C2,C3,C4,C5,C6,E1,E2,E3,E4,E5,E6,FF,FQRL,FQRR,FP,MAP,MBUS,OILP,OILT,RPM,TIT,IAT,OAT,17B4\r\n";
    ASSERT_GE(wire.size(), cfg.size() + hdr.size());
    EXPECT_EQ(wire.substr(0, cfg.size()), cfg);
    EXPECT_EQ(wire.substr(cfg.size(), hdr.size()), hdr);
    const std::string data = wire.substr(cfg.size() + hdr.size());
    ASSERT_EQ(data.size(), 136u);
    EXPECT_EQ(data.substr(0, 5), "DATA,");
    EXPECT_EQ(data.substr(5 + 7 * 5, 5), "0564,") << "E1 1379.5 rounds to 1380";
    EXPECT_EQ(data.substr(5 + 21 * 5, 5), "0960,") << "RPM 2400";
    EXPECT_EQ(data.substr(5 + 24 * 5, 5), "FFF4,") << "a negative OAT stays four digits";
    char sum[8];
    std::snprintf(sum, sizeof sum, "%04X\r\n", Sum(data));
    EXPECT_EQ(data.substr(130), sum);
}

TEST_F(CsvTest, HeaderEveryFifteenthLineAndConfigurationWithTheFirstSixteen) {
    SendEngineCsvHeader();
    G_EngCsvPort = 99;   // nowhere: only the counters matter here
    int headers = 0;
    for (int line = 1; line <= 241; ++line) {
        const uint32_t cfgBefore = G_EngineCsv.nCfgSent;
        const bool header = G_EngineCsv.nCycle == 0;
        SendEngineCsvData();
        if (header) ++headers;
        if (header) {
            EXPECT_EQ(line % 15, 1) << line;
        }
        if (line == 226) {
            EXPECT_EQ(G_EngineCsv.nCfgSent, cfgBefore + 1) << "16th header";
        }
        if (line == 241) {
            EXPECT_EQ(G_EngineCsv.nCfgSent, cfgBefore) << "17th header";
        }
    }
    EXPECT_EQ(headers, 17);
}

}  // namespace
