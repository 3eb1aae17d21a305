// The traffic threat list G_Traffic (wx.h): filled from a traffic
// receiver's 0x8C messages, from the other display (UdpType 19) or from the
// demonstration targets; drawn on the moving map and on chart pages.
#pragma once
#include <cstdint>

constexpr uint8_t kTrafficMsgId = 0x8C;
constexpr int32_t kTrafficMsgMax = 260;      // longer serial messages are dropped
constexpr int32_t kTrafficRecBytes = 8;
constexpr int32_t kTrafficMsgHead = 11;      // 0x10, id, length, status A, B, count, 5 spare
constexpr uint32_t kTrafficProximity = 0x10, kTrafficClimb = 1, kTrafficDescend = 2;
constexpr uint32_t kTrafficStaleTicks = 18432000;   // 5 s
constexpr uint32_t kTrafficClearTicks = 36864000;   // 10 s

void TrafficInit();
void TrafficClear();
// An unstuffed 0x8C message of `length` bytes (from the 0x10 to the 0x03):
// 1 when targets were taken, 0 without an own position.
int32_t TrafficParseTargets(const uint8_t* msg, int32_t length);
// One 8-byte target record appended: 1 when added.
int32_t TrafficAddTarget(const uint8_t* rec);
// A 0x8C message of 1..3 records written to `port`.
void TrafficSendMsg8C(uint32_t port, int32_t count, const uint8_t* rec1, const uint8_t* rec2, const uint8_t* rec3);
// Steps of the demonstration targets since start (one a second while on).
uint32_t TrafficDemoSteps();
// 1 when the list may be shown as current; clears a list 10 s old.
int32_t TrafficDataValid();
// The targets on the moving map (the off-screen band).
void TrafficDrawPage();

// TrafficDrawOverlay (wx.h): the targets on a geo-referenced chart page.
