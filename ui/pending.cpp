// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "ui/buttons.h"
#include "ui/keys.h"
#include "ui/knob.h"

// The course lives in the navigation source records, which do not hold it yet.
void AdjustNavCourse(int32_t, int32_t) {}
