// Addresses the firmware shows are board addresses, the same at every run:
// records of the application image at their place in system RAM, the board's
// memories at their bus addresses.
#include "platform/rammap.h"

#include <gtest/gtest.h>

#include "platform/dma.h"
#include "platform/hw.h"
#include "support/board_fixture.h"

namespace {

uint8_t g_record[4096];   // a record of the image, as the firmware's are

class RamMap : public BoardTest {};

TEST_F(RamMap, RecordsAndMemoriesHaveTheirBoardAddresses) {
    const uint32_t first = HwRamAddress(&g_record[0]);
    EXPECT_GE(first, kAppImageBase);
    EXPECT_LT(first, kAppImageBase + kAppImageBytes);
    EXPECT_EQ(HwRamAddress(&g_record[100]), first + 100);
    EXPECT_GE(kAppImageBase, platform::kDmaRamBase + platform::kDmaRamBytes) << "the image overlaps the DMA window";

    struct Case { const char* name; uint32_t address; };
    const Case memories[] = {
        {"DMA-visible RAM", platform::kDmaRamBase + 0x1234},
        {"frame memory", 0x0C200000 + 640 * 480},
        {"flash", 0x780040},
    };
    for (const Case& c : memories) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(HwRamAddress(HwMemory(c.address, 4)), c.address);
    }
    int onTheStack = 0;
    EXPECT_EQ(HwRamAddress(&onTheStack), 0u) << "the stack has no place in the map";
}

}  // namespace
