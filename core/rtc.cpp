#include "core/rtc.h"

DateTime G_DateTime = {};
