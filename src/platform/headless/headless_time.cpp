// The headless fake clock.
#include "platform/headless/headless_time.h"

namespace duskpane {

namespace {
constexpr int64_t kDayMs = int64_t(24) * 3600 * 1000;
}

LocalTimeOfDay HeadlessTimeService::LocalTime() {
    const int64_t ofDay = ((calendarMs_ % kDayMs) + kDayMs) % kDayMs / 1000;
    return LocalTimeOfDay{int(ofDay / 3600), int(ofDay / 60 % 60), int(ofDay % 60)};
}

void HeadlessTimeService::SetLocalTime(int hour, int minute, int second) {
    const int64_t day = calendarMs_ - ((calendarMs_ % kDayMs) + kDayMs) % kDayMs;
    calendarMs_ = day + (int64_t(hour) * 3600 + minute * 60 + second) * 1000;
}

void HeadlessTimeService::Advance(uint32_t ms) {
    tick_ += ms;
    calendarMs_ += ms;
}

}  // namespace duskpane
