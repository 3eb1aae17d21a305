#include "net/cs8900.h"

#include "core/irq.h"
#include "core/syslog.h"
#include "platform/hw.h"

uint8_t G_CsMac[6] = {};

constexpr int32_t kResetPolls = 500000;

uint16_t CS_ReadPP(uint16_t reg) {
    HwWrite16(kCsPpPointer, reg);
    return HwRead16(kCsPpData);
}

void CS_WritePP(uint16_t reg, uint16_t value) {
    HwWrite16(kCsPpPointer, reg);
    HwWrite16(kCsPpData, value);
}

bool CS_LinkUp() {
    AppIntsOffRestore(0);
    const bool up = (CS_ReadPP(kPpLineStatus) & kLineStLinkOk) != 0;
    AppIntsOffRestore(1);
    return up;
}

int32_t CS_Reset() {
    CS_WritePP(kPpSelfCtl, kSelfCtlReset);
    uint16_t status = 0;
    for (int32_t i = 0; i < kResetPolls; ++i) {
        status = CS_ReadPP(kPpSelfSt);
        if (status & kSelfStInitD) return 0;
    }
    DebugPrintf("CS8900A Reset Time Out Error, Status = %04x!\n", status);
    return -1;
}

void CS_SetMac() {
    for (uint16_t i = 0; i < 3; ++i)
        CS_WritePP(static_cast<uint16_t>(kPpIndividualAddr + 2 * i),
                   static_cast<uint16_t>(G_CsMac[2 * i] | G_CsMac[2 * i + 1] << 8));
    for (uint16_t i = 0; i < 4; ++i) CS_WritePP(static_cast<uint16_t>(kPpLogicalAddr + 2 * i), 0xFFFF);
}

int32_t CS_Init() {
    CS_Reset();
    const uint16_t id = CS_ReadPP(kPpProductId);
    if (id != kCsProductId) {
        DebugPrintf("Bad CS8900A ID = %04x!\n", id);
        return -1;
    }
    CS_WritePP(kPpRxCfg, 0);
    CS_WritePP(kPpRxCtl, kRxCtlAccept);
    CS_WritePP(kPpTxCfg, 0);
    CS_WritePP(kPpBufCfg, 0);
    CS_SetMac();
    CS_WritePP(kPpLineCtl, kLineCtlOn);
    return 0;
}

void CS_WriteTxFrame(const uint8_t* frame, uint32_t length) {
    uint32_t i = 0;
    for (; i + 1 < length; i += 2) HwWrite16(kCsData0, static_cast<uint16_t>(frame[i] | frame[i + 1] << 8));
    if (i < length) HwWrite16(kCsData0, frame[i]);   // an odd last byte goes alone
}

uint32_t CS_Receive(uint8_t* buffer) {
    for (int32_t tries = 0; tries < kCsReceiveTries; ++tries) {
        const uint16_t event = CS_ReadPP(kPpRxEvent) & ~0x3F;
        if (event == 0) return 0;
        if (!(event & kRxEventOk)) {
            CS_WritePP(kPpRxCfg, kRxCfgSkip1);
            continue;
        }
        HwRead16(kCsData0);   // status
        const uint16_t length = HwRead16(kCsData0);
        if (length >= kCsBadLength) {
            // The buffer's host address is not shown, so that runs repeat exactly.
            DebugPrintf("CS8900a: Rcv pkt addr = 0x%08lx, Bad len = 0x%04x.\n", 0ul, length);
            // Skipped, so the next call starts at the next frame's status.
            CS_WritePP(kPpRxCfg, kRxCfgSkip1);
            return 0;
        }
        if (length == 0) return 0;
        for (uint32_t i = 0; i < length; i += 2) {
            const uint16_t word = HwRead16(kCsData0);
            buffer[i] = static_cast<uint8_t>(word);
            if (i + 1 < length) buffer[i + 1] = static_cast<uint8_t>(word >> 8);
        }
        return length;
    }
    // Nine bad frames in a row: the rest waits for the next call.
    return 0;
}
