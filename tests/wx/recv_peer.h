// A scripted weather receiver on the in-process wire: it answers the unit's
// SYN, acknowledges its data, splits the unit's commands out of their frames
// and answers each with a good 0x90 status, in board time. Frames, stuffing
// and CRC are built here from the published formats.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "net/net.h"
#include "peers/tcp_peer.h"
#include "support/board_fixture.h"
#include "wx/recv.h"
#include "wx/wx.h"

namespace wxtest {

using Bytes = std::vector<uint8_t>;

inline uint32_t Get32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }

// CRC-16 bit by bit: polynomial 0x1021, initial 0xFFFF, inverted.
inline uint16_t Crc(const Bytes& p) {
    uint32_t crc = 0xFFFF;
    for (uint8_t b : p) {
        crc ^= uint32_t{b} << 8;
        for (int i = 0; i < 8; ++i) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) & 0xFFFF : (crc << 1) & 0xFFFF;
    }
    return static_cast<uint16_t>(crc ^ 0xFFFF);
}

// A product message around `payload`: the short form, or the long one.
inline Bytes Message(const Bytes& payload, bool longForm = false) {
    Bytes m = {0xAB, 0xCD};
    const uint32_t l = static_cast<uint32_t>(payload.size()) + 2;
    if (longForm) {
        m.insert(m.end(), {0xFF, 0xFF, uint8_t(l), uint8_t(l >> 8), uint8_t(l >> 16), uint8_t(l >> 24)});
    } else {
        m.insert(m.end(), {uint8_t(l), uint8_t(l >> 8)});
    }
    m.insert(m.end(), payload.begin(), payload.end());
    const uint16_t crc = Crc(payload);
    m.push_back(uint8_t(crc >> 8));
    m.push_back(uint8_t(crc));
    return m;
}

// Stuffing after the start: AB CD -> AB CC 01, AB CC -> AB CC 00.
inline Bytes Stuff(const Bytes& m) {
    Bytes out(m.begin(), m.begin() + 2);
    for (size_t i = 2; i < m.size(); ++i) {
        if (m[i] == 0xAB && i + 1 < m.size() && (m[i + 1] == 0xCD || m[i + 1] == 0xCC)) {
            out.insert(out.end(), {0xAB, 0xCC, uint8_t(m[i + 1] == 0xCD ? 1 : 0)});
            ++i;
        } else {
            out.push_back(m[i]);
        }
    }
    return out;
}

// A receiver frame around `payload`.
inline Bytes Frame(const Bytes& payload) {
    Bytes f;
    f.reserve(payload.size() + 6);
    for (uint8_t b : {uint8_t(0x5A), uint8_t(0xA5), uint8_t(payload.size() >> 8), uint8_t(payload.size())})
        f.push_back(b);
    for (uint8_t b : payload) f.push_back(b);
    f.push_back(0xED);
    f.push_back(0xED);
    return f;
}

// A 0xEA frame carrying `bytes` from byte 16, the count at 8..11.
inline Bytes ProductFrame(const Bytes& bytes, int32_t countDelta = 0) {
    Bytes p(12, 0);
    p[0] = 0xEA;
    const uint32_t count = static_cast<uint32_t>(static_cast<int32_t>(bytes.size()) + countDelta);
    p[4] = uint8_t(count >> 24);
    p[5] = uint8_t(count >> 16);
    p[6] = uint8_t(count >> 8);
    p[7] = uint8_t(count);
    p.insert(p.end(), bytes.begin(), bytes.end());
    return Frame(p);
}

inline Bytes Status(bool good) { return Frame({0x90, good ? uint8_t(1) : uint8_t(0), 0, 0}); }

class RecvRig : public BoardTest {
protected:
    static constexpr uint8_t kMac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x70};
    void SetUp() override {
        BoardTest::SetUp();
        board().cs8900().AttachWire(true);
        SysLogOpen();
        G_NetIpLocal = 175;
        NET_Init();
        G_UptimeSec = 100;
        std::memset(G_TcpConn, 0, sizeof G_TcpConn);
        G_TcpEphemeral = kTcpFirstEphemeral;
        G_NetStreamCfg[kStreamWx].INST = kWxMaster;
        G_Wx = {};
        G_WxLink = {};
        G_WxConn = nullptr;
        KnowReceiver();
    }
    void KnowReceiver() {
        std::memcpy(G_ArpCache.entry[0].abMac, kMac, 6);
        std::memcpy(G_ArpCache.entry[0].abIp, kWxRecvIp, 4);
        G_ArpCache.nCount = 1;
    }
    static bool Logged(const std::string& text) { return SysLogSectorText().find(text) != std::string::npos; }
    static size_t Count(const std::string& text) {
        const std::string log = SysLogSectorText();
        size_t n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }

    // Receiver to unit: one segment of data (or flags only).
    void Send(const Bytes& data, uint8_t flags = 0x18) {
        const Bytes f = tcp_peer::Segment({G_NetOwnMac, kMac, kWxRecvIp, G_OwnIp, kWxRecvPort, unitPort_}, flags, seq_,
                                          unitNext_, data);
        seq_ += static_cast<uint32_t>(data.size()) + ((flags & 0x03) ? 1 : 0);
        uint8_t slot[kNetSlotBytes] = {};
        std::memcpy(SlotFrame(slot), f.data(), f.size());
        SlotDesc(slot)->nLength = static_cast<uint32_t>(f.size());
        NET_ProcessRx(slot);
    }

    // Takes what the unit sent: a SYN is answered, commands collected (and answered).
    void Pump() {
        for (int i = 0; i < 300 && G_NetRing.nTxRd != G_NetRing.nTxWr; ++i) {
            NET_TxFlush();
            uint8_t buf[2000];
            const int n = board().cs8900().TakeSent(buf, sizeof buf);
            if (n >= 42 && buf[12] == 0x08 && buf[13] == 0x06) {
                AnswerArp(buf);
                continue;
            }
            if (n < 54 || buf[12] != 0x08 || buf[23] != 6) continue;
            const uint8_t* ip = buf + 14;
            const uint8_t* tcp = ip + 20;
            if (tcp[2] != (kWxRecvPort >> 8) || tcp[3] != (kWxRecvPort & 0xFF)) continue;
            const uint32_t total = static_cast<uint32_t>(ip[2] << 8 | ip[3]);
            const uint32_t header = (tcp[12] >> 4) * 4u;
            const uint8_t flags = tcp[13];
            if (flags & 0x02) {
                ++syns_;
                if (dropSyns_ > 0) {
                    --dropSyns_;
                    continue;
                }
                unitPort_ = static_cast<uint16_t>(tcp[0] << 8 | tcp[1]);
                unitNext_ = Get32(tcp + 4) + 1;
                seq_ = 7000;
                Send({}, 0x12);
                continue;
            }
            const uint32_t seq = Get32(tcp + 4);
            const uint32_t length = total - 20 - header;
            if (length == 0 || seq != unitNext_) continue;
            unitNext_ += length;
            fromUnit_.insert(fromUnit_.end(), tcp + header, tcp + header + length);
            Commands();
            Send({}, 0x10);
        }
    }
    // A request for the receiver's address is answered.
    void AnswerArp(const uint8_t* req) {
        if (req[21] != 1 || std::memcmp(req + 38, kWxRecvIp, 4) != 0) return;
        ++arps_;
        uint8_t slot[kNetSlotBytes] = {};
        uint8_t* f = SlotFrame(slot);
        std::memcpy(f, G_NetOwnMac, 6);
        std::memcpy(f + 6, kMac, 6);
        const uint8_t head[] = {0x08, 0x06, 0, 1, 0x08, 0x00, 6, 4, 0, 2};
        std::memcpy(f + 12, head, sizeof head);
        std::memcpy(f + 22, kMac, 6);
        std::memcpy(f + 28, kWxRecvIp, 4);
        std::memcpy(f + 32, G_NetOwnMac, 6);
        std::memcpy(f + 38, G_OwnIp, 4);
        SlotDesc(slot)->nLength = 60;
        NET_ProcessRx(slot);
    }
    void Commands() {
        while (fromUnit_.size() >= 6) {
            const size_t n = static_cast<size_t>(fromUnit_[2] << 8 | fromUnit_[3]);
            if (fromUnit_.size() < n + 6) return;
            EXPECT_EQ(fromUnit_[0], 0x5A);
            EXPECT_EQ(fromUnit_[n + 4], 0xED);
            commands_.emplace_back(fromUnit_.begin() + 4, fromUnit_.begin() + 4 + static_cast<long>(n));
            fromUnit_.erase(fromUnit_.begin(), fromUnit_.begin() + static_cast<long>(n) + 6);
            if (answer_) Send(Status(good_));
        }
    }
    // Runs the frame block for `seconds` of board time, 50 ms at a time.
    void Run(double seconds) {
        const int frames = static_cast<int>(seconds * 20 + 0.5);
        for (int i = 0; i < frames; ++i) {
            DelayTicks(kTicksPerSecond / 20);
            if (++sub_ == 20) {
                sub_ = 0;
                ++G_UptimeSec;
            }
            TCP_Tick();
            WxRecvTask();
            Pump();
        }
    }
    bool Established() const { return G_WxConn && G_WxConn->nState == kTcpEstablished; }
    // Connected and brought up to running.
    void BringUp() {
        Run(1);
        ASSERT_EQ(G_Wx.nStep, 100) << SysLogSectorText();
        commands_.clear();
    }

    uint16_t unitPort_ = 0;
    uint32_t seq_ = 7000, unitNext_ = 0;
    int sub_ = 0, syns_ = 0, dropSyns_ = 0, arps_ = 0;
    bool answer_ = true, good_ = true;
    Bytes fromUnit_;
    std::vector<Bytes> commands_;
};

}  // namespace wxtest
