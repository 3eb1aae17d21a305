#include "platform/hostevents.h"
#include "platform/board.h"

namespace platform {

bool HostEvents::Add(const HostEvent& event) {
    if (count_ >= kCapacity) return false;
    int i = count_++;
    while (i > next_ && events_[i - 1].at > event.at) {
        events_[i] = events_[i - 1];
        --i;
    }
    events_[i] = event;
    return true;
}

void HostEvents::Advance(uint64_t now) {
    while (next_ < count_ && events_[next_].at <= now) {
        const HostEvent e = events_[next_++];
        if (apply_) apply_(board_, e);
    }
}

uint64_t HostEvents::NextEvent(uint64_t) const { return next_ < count_ ? events_[next_].at : UINT64_MAX; }

}  // namespace platform
