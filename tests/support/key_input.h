// Key codes and knob movements handed to the main key handler, as the main
// loop hands over what the tick's button and knob poll left for it.
#pragma once
#include <cstdint>

#include "ui/buttons.h"
#include "ui/keys.h"
#include "ui/knob.h"

// Adds Key() and Knob() to a board fixture; each runs as application code.
template <class Fixture>
class WithKeyInput : public Fixture {
protected:
    void Key(int32_t code) {
        this->RunApp([code] {
            G_KeyEvent = code;
            MainKeyHandler();
        });
    }
    void Knob(int32_t delta) {
        this->RunApp([delta] {
            G_Knob0.nDelta = delta;
            MainKeyHandler();
        });
    }
};
