// The --script runner: one timed event per line, loaded into the board's
// host-event queue before power-on and applied to the tick as board time
// reaches each line.
//
//   # comment
//   TIME EVENT ARGS...      TIME in seconds of board time; "+S" is S after the previous line
//   press KEY [SECONDS]     soft key 1..5 or 6 (knob push), 0.1 s by default
//   hold KEY                pressed until "release KEY"
//   release KEY
//   knob N [SPACING]        N detents (negative: the other way), SPACING seconds apart (0.1)
//   input N on|off          discrete input 1..3: on pulls its pin low (active)
//   screenshot FILE.png     the shown page
//   supply off|on           both aircraft supplies cut (the unit runs on its battery) or back
//   supply battery COUNTS   the battery-volts input of the air-data converter
//   card out|in             the SD card (the --sd image) taken out of the slot or put back
//   time virtual|real       board time from here on: at the board's own pace, or the host clock's
//   adc air INPUT COUNTS [SECONDS]  air-data converter input 0..7; with SECONDS it moves
//                           linearly from its present counts, in steps of at least 25 ms
//
// Further kinds are added as one more case in the parser and in ApplyEvent.
#pragma once
#include <string>
#include "platform/board.h"
#include "sim/screenshot.h"

// Reads and queues the script; false with a message naming the line.
bool LoadScript(platform::Board& board, const std::string& path, std::string& error);
// Parses script text (for tests); `where` names the source in messages.
bool LoadScriptText(platform::Board& board, const std::string& text, const std::string& where, std::string& error);

// Queues live panel input from the window, a few milliseconds after the
// board's present time, in the same form as a script's lines; false when the
// queue is full.
bool QueueControl(platform::Board& board, const ControlInput& input);
