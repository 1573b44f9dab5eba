// The clocks on Linux: the tick counter, the local time of day and the
// calendar seconds.
#pragma once

#include "platform/platform.h"

namespace duskpane {

class LinuxTimeService : public TimeService {
public:
    // Milliseconds since boot, time asleep included, wrapping at 2^32
    // as the system tick count does.
    uint32_t TickCount() override;
    // The local wall clock, in the time zone the process has.
    LocalTimeOfDay LocalTime() override;
    int64_t CalendarSeconds() override;
};

}  // namespace duskpane
