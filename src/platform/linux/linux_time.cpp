// The clocks on Linux.
#include "platform/linux/linux_time.h"

#include <time.h>

namespace duskpane {

uint32_t LinuxTimeService::TickCount() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const uint64_t ms = uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u;
    return uint32_t(ms);
}

LocalTimeOfDay LinuxTimeService::LocalTime() {
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    return {local.tm_hour, local.tm_min, local.tm_sec};
}

int64_t LinuxTimeService::CalendarSeconds() { return int64_t(time(nullptr)); }

}  // namespace duskpane
