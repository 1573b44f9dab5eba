// Developer tool: analyses raw 16-bit mono samples from stdin at a given raw
// output volume and prints the 20 band levels and bar percentages.
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "audio/spectrum.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr uint32_t kMaxVolume = 65535;

// The volume given on the command line, returned for every read.
class FixedVolume : public duskpane::VolumeReader {
public:
    explicit FixedVolume(uint32_t value) : value_(value) {}
    bool ReadVolumeRaw(uint32_t& value) override {
        value = value_;
        return true;
    }

private:
    uint32_t value_;
};

// A decimal volume 0..65535, digits only.
bool ParseVolume(const std::string& text, uint32_t& volume) {
    if (text.empty()) return false;
    uint32_t value = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9') return false;
        value = value * 10 + uint32_t(ch - '0');
        if (value > kMaxVolume) return false;
    }
    volume = value;
    return true;
}

void PrintLine(const std::array<int32_t, duskpane::kBandCount>& values) {
    for (size_t i = 0; i < values.size(); ++i)
        std::printf(i == 0 ? "%d" : " %d", int(values[i]));
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t volume = 0;
    if (argc != 2 || !ParseVolume(argv[1], volume)) {
        std::fprintf(stderr, "usage: duskpane-spectrum VOLUME < capture.raw  (VOLUME: 0 to 65535)\n");
        return 2;
    }
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif

    auto state = std::make_unique<duskpane::SpectrumState>();
    state->WaveFormat.formatTag = 1;
    state->WaveFormat.channels = 1;
    state->WaveFormat.samplesPerSec = 44100;
    state->WaveFormat.avgBytesPerSec = 88200;
    state->WaveFormat.blockAlign = 2;
    state->WaveFormat.bitsPerSample = 16;
    state->WaveHeader.bufferLength = 11025;

    size_t filled = 0;
    while (filled < state->SpectrumBuffer.size()) {
        const size_t got = std::fread(state->SpectrumBuffer.data() + filled, 1,
                                      state->SpectrumBuffer.size() - filled, stdin);
        if (got == 0) break;
        filled += got;
    }
    if (std::ferror(stdin)) {
        std::fprintf(stderr, "duskpane-spectrum: cannot read the samples from stdin\n");
        return 1;
    }

    FixedVolume reader(volume);
    duskpane::Bitmap32 area(duskpane::kSpectrumWidth, duskpane::kSpectrumHeight);
    duskpane::AnalyseSpectrum(*state, reader, area);

    std::array<int32_t, duskpane::kBandCount> percents{};
    for (size_t b = 0; b < percents.size(); ++b) percents[b] = duskpane::BarPercent(state->BandLevels[b]);
    PrintLine(state->BandLevels);
    PrintLine(percents);
    return 0;
}
