// The clock tick: the capture watchdog's test and the four digits of HH:MM,
// redrawn only where they changed.
#pragma once

#include <array>
#include <cstdint>

#include "clock/digits.h"

namespace duskpane {

class Image;

// No capture buffer was queued for more than two seconds. The sum wraps
// modulo 2^32 and the comparison is strict, as the tick counter is.
constexpr bool WatchdogDue(uint32_t now, uint32_t lastWaveTick) {
    return now > uint32_t(lastWaveTick + 2000u);
}

// The four digits of a time of day: hour tens and ones, minute tens and ones.
std::array<int32_t, 4> ClockDigits(int hour, int minute);

// Redraws each digit image whose shown digit differs: its surface is filled
// black, the digit's picture drawn through its mask and the image repainted.
// A digit whose drawing failed keeps its old entry and is tried again at the
// next tick.
void UpdateClockDigits(int hour, int minute, std::array<int32_t, 4>& shownDigit,
                       const std::array<Image*, 4>& digitImage, const ImageList& pictures);

}  // namespace duskpane
