#include "storage/flash.h"

#include "core/irq.h"
#include "platform/hw.h"
#include "platform/monitor.h"

int32_t FlashErase(int32_t sector) {
    AppIntsOffRestore(0);
    int32_t r = mon_flasherase(sector);
    AppIntsOffRestore(1);
    return r < 0 ? r : 0;
}

int32_t FlashWrite(uint32_t address, const void* data, uint32_t length) {
    AppIntsOffRestore(0);
    int32_t r = mon_flashwrite(address, static_cast<const uint8_t*>(data), length);
    AppIntsOffRestore(1);
    return r < 0 ? r : 0;
}

const uint8_t* FlashPtr(uint32_t address, uint32_t length) { return HwMemory(address, length); }
