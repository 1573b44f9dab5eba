// The slideshow's pseudo-random generator: values 0..32767.
#pragma once

#include <cstdint>

namespace duskpane {

class SlideRandom {
public:
    // Seeding draws one value and discards it.
    void Seed(uint32_t seed) {
        state_ = seed;
        Next();
    }
    // state = state * 22695477 + 1 (mod 2^32); the value is bits 16 to 30.
    int Next() {
        state_ = state_ * 22695477u + 1u;
        return int((state_ >> 16) & 0x7FFFu);
    }
    uint32_t State() const { return state_; }

private:
    uint32_t state_ = 1;
};

}  // namespace duskpane
