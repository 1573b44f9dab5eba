// The clocks on Windows: the tick counter, the local time of day and the calendar seconds.
#pragma once

#include "platform/platform.h"

namespace duskpane {

class Win32TimeService : public TimeService {
public:
    // GetTickCount: milliseconds since the system started, wrapping at 2^32
    // after about 49.7 days.
    uint32_t TickCount() override;
    // GetLocalTime: the wall clock in the user's time zone, daylight saving
    // included.
    LocalTimeOfDay LocalTime() override;
    // The run-time library's time(): seconds since 1970-01-01 UTC.
    int64_t CalendarSeconds() override;
};

}  // namespace duskpane
