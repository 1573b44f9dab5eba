// The main window's sound capture: set-up, (re)start of the device, the
// return of the single buffer through the message hook.
#include <algorithm>
#include <cstring>

#include "app/main_form.h"
#include "ui/application.h"

namespace duskpane {

namespace {

// The spectrum area keeps this distance from the screen's right and bottom edges.
constexpr int kSpectrumMargin = 20;

constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint32_t kCaptureRate = 44100;
constexpr uint16_t kCaptureChannels = 1;
constexpr uint16_t kCaptureBits = 16;
constexpr int32_t kCaptureBufferMs = 125;

}  // namespace

void TMainForm::InitWaveSpectrum() {
    const ScreenSize screen = platform.ui.PrimaryScreen();
    SpectrumPaintBox.SetBounds(screen.width - SpectrumPaintBox.Width() - kSpectrumMargin,
                               screen.height - SpectrumPaintBox.Height() - kSpectrumMargin,
                               SpectrumPaintBox.Width(), SpectrumPaintBox.Height());

    WaveBufferMs = kCaptureBufferMs;
    WaveCopySize = kWaveCopySize;

    // Should the window be shown a second time, the descriptor is about to be
    // filled anew: the device that holds it lets go of it first.
    WaveInHandle.reset();

    const uint16_t blockAlign = uint16_t(kCaptureChannels * kCaptureBits / 8);
    WaveFormat.formatTag = kWaveFormatPcm;
    WaveFormat.channels = kCaptureChannels;
    WaveFormat.samplesPerSec = kCaptureRate;
    WaveFormat.avgBytesPerSec = kCaptureRate * blockAlign;
    WaveFormat.blockAlign = blockAlign;
    WaveFormat.bitsPerSample = kCaptureBits;

    // 88200 x 125 / 1000 = 11025 bytes: 125 ms, half a sample more than the
    // whole samples the analysis counts.
    WaveHeader.data = WaveBuffer.data();
    WaveHeader.bufferLength = WaveFormat.avgBytesPerSec * uint32_t(WaveBufferMs) / 1000u;
    WaveHeader.bytesRecorded = 0;

    StartWaveIn();
}

// A restart first destroys the device opened before, which resets it (the
// buffer comes back unfilled) and closes it, and only then opens the new one.
// So the single buffer is never queued on two devices at once, and a device
// that was replaced never writes into it again. No result is tested: a
// failed open leaves no device, and because the tick is taken all the same
// the watchdog tries again more than two seconds later.
void TMainForm::StartWaveIn() {
    if (!IsDispWaveSpectrum) return;
    // A watchdog tick can come before set-up (while an error box is open
    // during the show handler); there is nothing to open with yet.
    if (WaveFormat.formatTag == 0 || WaveHeader.data == nullptr) return;

    WaveInHandle.reset();
    WaveInHandle = platform.capture.Open(WaveFormat);
    if (WaveInHandle) WaveInHandle->Fill(WaveHeader);
    LastWaveTick = platform.time.TickCount();
}

void TMainForm::RequeueWaveIn() {
    if (WaveInHandle) WaveInHandle->Fill(WaveHeader);
    LastWaveTick = platform.time.TickCount();
}

// Every capture message counts as the return of the single buffer, whichever
// device sent it, and whether the display is on or not.
void TMainForm::ApplicationEventsMessage(Message& message, bool& handled) {
    if (message.kind != MessageKind::CaptureData) return;
    const size_t copy = size_t(std::clamp<int32_t>(WaveCopySize, 0, kWaveCopySize));
    std::memcpy(SpectrumBuffer.data(), WaveBuffer.data(), std::min(copy, SpectrumBuffer.size()));
    AnalyseSpectrum(*this, volume, SpectrumPaintBox.Surface());
    SpectrumPaintBox.Repaint();
    RequeueWaveIn();
    handled = true;
}

}  // namespace duskpane
