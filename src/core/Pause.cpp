#include "Pause.h"

#include "platform/Clock.h"

namespace core {

bool Pause(platform::Clock& clock, float ms, const std::function<bool()>& stopWhen, bool quiet) {
    const double start = clock.NowMs();
    const double deadline = start + static_cast<double>(ms);
    // The clock decides, not a timer: a wake-up may come early, so loop until it has passed.
    while (clock.NowMs() - start < static_cast<double>(ms)) {
        if (stopWhen && stopWhen()) {
            return true;
        }
        if (quiet) {
            clock.ProcessEventsQuietly(deadline);
        } else {
            clock.ProcessEvents(deadline);
        }
    }
    return false;
}

} // namespace core
