#include "wx/wx.h"

WxState     G_Wx = {};
TcpConn*    G_WxConn = nullptr;
uint8_t     G_WxMasterIp[4] = {};
TrafficList G_Traffic = {};
