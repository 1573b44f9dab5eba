// A fake clock for the headless backend: a tick counter, a time of day and
// a calendar that move only when a test says so.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace duskpane {

class HeadlessTimeService : public TimeService {
public:
    uint32_t TickCount() override { return tick_; }
    LocalTimeOfDay LocalTime() override;
    int64_t CalendarSeconds() override { return calendarMs_ / 1000; }

    void SetTickCount(uint32_t tick) { tick_ = tick; }
    // Sets the local time of day (the calendar follows it within its day).
    void SetLocalTime(int hour, int minute, int second = 0);
    void SetCalendarSeconds(int64_t seconds) { calendarMs_ = seconds * 1000; }
    // Moves the tick counter (wrapping), the time of day and the calendar on.
    void Advance(uint32_t ms);

private:
    uint32_t tick_ = 100000;
    // Milliseconds since 1970-01-01 00:00 local time: 2026-12-08 09:00.
    int64_t calendarMs_ = int64_t(1796720400) * 1000;
};

}  // namespace duskpane
