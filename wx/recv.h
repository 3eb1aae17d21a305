// The weather receiver link: the master's state machine towards the receiver
// at 192.168.0.70:20001 with its watchdogs, the relay of the raw stream on
// port 2112 and the slave's link to it, receiver frames and product messages.
#pragma once
#include <cstdint>

struct TcpConn;

constexpr uint16_t kWxRecvPort      = 20001;
constexpr uint16_t kWxRelayPort     = 2112;
constexpr uint32_t kWxLeftoverBytes = 4096;
constexpr uint32_t kWxLeftoverKeep  = 1024;     // a partial frame this long or longer is dropped
constexpr uint32_t kWxFrameMaxLen   = 600;      // payload lengths above are ignored
constexpr uint32_t kWxMsgBytes      = 100000;   // product assembly buffer
constexpr uint32_t kWxChunkMax      = 500;      // product bytes of one 0xEA frame
constexpr uint32_t kWxCmdMaxLen     = 1019;

struct WxLinkState {
    uint32_t nLastEvent;         // G_UptimeSec of the last link event
    uint32_t nRetries;
    uint32_t bKeepAliveSent;     // in this multiple of five idle seconds
    TcpConn* pRelayListener;
    uint32_t nConnOpening;       // G_WxConn's opening: the record may since serve another connection
    uint32_t bIdLogged;
    uint32_t nLeftover;
    uint8_t  abLeftover[kWxLeftoverBytes];
    uint32_t nFill;              // product assembly
    uint32_t nExpected;
    uint32_t nStuffPending;      // 0xAB or 0xAB 0xCC held back from the end of the last chunk
    uint8_t  abStuff[2];
    uint8_t  abMsg[kWxMsgBytes];
};
extern WxLinkState G_WxLink;

extern const uint8_t kWxRecvIp[4];

// TCP receive callback of the receiver link (master) and of the relay link (slave).
int32_t WxRecvRxStream(TcpConn* conn, const uint8_t* data, uint32_t count, uint32_t limit);
// One frame that starts at `frame` and holds `size` bytes (at least its header).
void    WxRecvParseFrame(const uint8_t* frame, uint32_t size);
// The product bytes of one 0xEA frame.
void    WxProductAssemble(const uint8_t* bytes, uint32_t count);
// Frames the command payload at buf + 4 (length bytes) and sends it.
void    WxRecvSendCmd(TcpConn* conn, uint8_t* buf, uint32_t length);
// 1 when the two bytes after `count` bytes hold their inverted CRC-16, high byte first.
int32_t WxCrc16Check(const uint8_t* bytes, uint32_t count);
uint16_t WxCrc16(const uint8_t* bytes, uint32_t count);
int32_t WxRelayAccept(TcpConn* conn, const uint8_t* data, uint32_t count, uint32_t limit);

void WxCmdJC(TcpConn* c);
void WxCmdJD(TcpConn* c);
void WxCmdTurnOn(TcpConn* c);
void WxCmdPowerOff(TcpConn* c);
void WxCmdSet10(TcpConn* c, uint8_t a, uint8_t b, uint8_t d);
void WxCmdSet11(TcpConn* c, uint8_t a);
void WxCmdJ10(TcpConn* c, uint8_t a);
void WxCmdN(TcpConn* c, uint8_t a);
void WxCmdPoll(TcpConn* c);
void WxCmd13(TcpConn* c, uint8_t a);
