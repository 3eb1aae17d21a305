#include "wx/wx.h"

WxState  G_Wx = {};
uint32_t G_WxConn = 0;
