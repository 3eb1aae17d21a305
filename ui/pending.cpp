// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "ui/buttons.h"
#include "ui/knob.h"

int32_t ScanButtons() { return 0; }
int32_t ReadKnobDelta(int32_t) { return 0; }
