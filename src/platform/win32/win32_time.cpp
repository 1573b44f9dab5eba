// The clocks on Windows.
#include "platform/win32/win32_time.h"

#include <windows.h>

#include <ctime>

namespace duskpane {

uint32_t Win32TimeService::TickCount() { return uint32_t(GetTickCount()); }

LocalTimeOfDay Win32TimeService::LocalTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {int(now.wHour), int(now.wMinute), int(now.wSecond)};
}

int64_t Win32TimeService::CalendarSeconds() { return int64_t(std::time(nullptr)); }

}  // namespace duskpane
