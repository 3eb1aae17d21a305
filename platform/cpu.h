// The processor core: status register interrupt bits and coprocessor 15.
#pragma once
#include <cstdint>

constexpr uint32_t kCpsrIrqDisable = 0x80;
constexpr uint32_t kCpsrFiqDisable = 0x40;

uint32_t CpuReadCpsr();
void     CpuWriteCpsr(uint32_t value);    // clearing the I bit may take a pending IRQ at once

// Coprocessor 15 (caches, MMU, TLBs, write buffer): recorded, no effect here.
void     CpuMcr(uint32_t crn, uint32_t crm, uint32_t op2, uint32_t value);
uint32_t CpuMrc(uint32_t crn, uint32_t crm, uint32_t op2);
void     CpuWait();                        // the wait-for-coprocessor sequence
