// The weather master's listeners and its one web page.
#include <cstring>

#include "core/boot.h"
#include "net/tcp.h"
#include "wx/recv.h"
#include "wx/wx.h"

namespace {

// The page: black, "Vantorel!" in large red letters, the server line in white.
#define KV_WEB_BODY                                                            \
    "<html><body bgcolor=\"BLACK\" color=\"WHITE\">"                         \
    "<font size=\"10\" face=\"sans-serif\" color=\"red\">Vantorel!</font><br>" \
    "<font color=\"WHITE\">Web Server 0.1 (alpha)</font>"                      \
    "</body></html>"
#define KV_WEB_HEADER "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 171\r\n\r\n"
constexpr char kWebHeader[] = KV_WEB_HEADER;
constexpr char kWebReply[] = KV_WEB_HEADER KV_WEB_BODY;
// The declared length is the body's, and only the header and body are sent.
static_assert(sizeof kWebReply - sizeof kWebHeader == 171);
static_assert(sizeof kWebReply - 1 <= 500);

int32_t WebReceive(TcpConn* conn, const uint8_t*, uint32_t, uint32_t) { return WebServerReply(conn); }

bool Listening(uint16_t port) {
    for (const TcpConn& c : G_TcpConn) {
        if (c.nState == kTcpListen && c.nLocalPort == port) return true;
    }
    return false;
}

}  // namespace

int32_t WebServerReply(TcpConn* conn) {
    TCP_Send(conn, kWebReply, sizeof kWebReply - 1);
    TCP_Close(conn);
    return 1;
}

void WxOpenListeners() {
    G_Wx.bRedraw = 0;
    G_Wx.abConfig[2] = 1;
    G_WxNexradReady = 0;
    if (G_NetStreamCfg[kStreamWx].INST != kWxMaster) return;
    // Runs again after every card change: a port keeps its one listener.
    if (!Listening(kWxRelayPort))
        G_WxLink.pRelayListener = TCP_OpenConnection(nullptr, nullptr, kWxRelayPort, 0, WxRelayAccept, 0);
    if (!Listening(kWebPort)) TCP_OpenConnection(nullptr, nullptr, kWebPort, 0, WebReceive, 0);
}
