// A kv5100 script built event by event: each event at the running time,
// which then moves on by the event's own pause. Starts as the calibration
// screens expect it: the held button released at 3 s, events from 6 s.
#pragma once
#include <sstream>
#include <string>

struct TimedScript {
    std::string text = "3 release 5\n";
    double t = 6;
    TimedScript& Do(const std::string& event, double after = 0.3) {
        std::ostringstream line;
        line << t << " " << event << "\n";
        text += line.str();
        t += after;
        return *this;
    }
    TimedScript& Repeat(const std::string& event, int n) {
        for (int i = 0; i < n; ++i) Do(event);
        return *this;
    }
};
