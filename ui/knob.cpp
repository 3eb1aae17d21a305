#include "ui/knob.h"

KnobRecord G_Knob0 = {};
KnobRecord G_Knob1 = {};
uint32_t   G_KnobPushSel = 0;
