#include "platform/hostevents.h"
#include "platform/board.h"

namespace platform {

// The host may add events while an application process takes them (the
// window's live input): an event is in place before the count shows it.
bool HostEvents::Add(const HostEvent& event) {
    const int count = count_;
    if (count >= kCapacity) return false;
    int i = count;
    while (i > next_ && events_[i - 1].at > event.at) {
        events_[i] = events_[i - 1];
        --i;
    }
    events_[i] = event;
    __atomic_store_n(&count_, count + 1, __ATOMIC_RELEASE);
    return true;
}

void HostEvents::Advance(uint64_t now) {
    while (next_ < __atomic_load_n(&count_, __ATOMIC_ACQUIRE) && events_[next_].at <= now) {
        const HostEvent e = events_[next_++];
        if (apply_) apply_(board_, e);
    }
}

uint64_t HostEvents::NextEvent(uint64_t) const { return next_ < count_ ? events_[next_].at : UINT64_MAX; }

}  // namespace platform
