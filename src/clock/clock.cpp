// The clock tick's digit logic.
#include "clock/clock.h"

#include "ui/controls.h"

namespace duskpane {

std::array<int32_t, 4> ClockDigits(int hour, int minute) {
    std::array<int32_t, 4> digits{};
    if (hour > 9) {
        digits[0] = hour / 10;
        digits[1] = hour % 10;
    } else {
        digits[0] = 0;
        digits[1] = hour;
    }
    digits[2] = minute / 10;
    digits[3] = minute % 10;
    return digits;
}

void UpdateClockDigits(int hour, int minute, std::array<int32_t, 4>& shownDigit,
                       const std::array<Image*, 4>& digitImage, const ImageList& pictures) {
    const std::array<int32_t, 4> digits = ClockDigits(hour, minute);
    for (size_t i = 0; i < digits.size(); ++i) {
        if (digits[i] == shownDigit[i]) continue;
        Image& image = *digitImage[i];
        Canvas& canvas = image.GetCanvas();
        canvas.pen = Pen{};
        canvas.Rectangle(0, 0, kDigitWidth, kDigitHeight);
        pictures.Draw(canvas, 0, 0, digits[i]);
        image.Repaint();
        shownDigit[i] = digits[i];
    }
}

}  // namespace duskpane
