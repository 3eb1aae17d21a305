// A kv5100 --script built event by event: each event at the running time,
// which then moves on by the event's pause. It starts by releasing button 5
// at 3 s, as the runs started with a button held expect.
#pragma once
#include <sstream>
#include <string>

struct TimedScript {
    std::string text = "3 release 5\n";
    double t;
    explicit TimedScript(double start = 6) : t(start) {}
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
