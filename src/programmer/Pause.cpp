#include "Pause.h"

#include "platform/Clock.h"

void Pause(platform::Clock& clock, float ms, const bool* stop) {
    const double start = clock.NowMs();
    const double deadline = start + static_cast<double>(ms);
    // The clock decides, not a timer: a wake-up may come early, so loop until it has passed.
    while (clock.NowMs() - start < static_cast<double>(ms)) {
        if (stop && *stop) {
            return;
        }
        clock.ProcessEvents(deadline);
    }
}
