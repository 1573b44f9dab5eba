// The preview of the open-picture dialog: a picture file decoded through
// the program's own decoders and fitted into a box, and the worker that
// makes previews off the GUI thread, newest selection first.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "util/bitmap.h"

namespace duskpane {

// The box the dialogs ask previews for: wider and taller than their preview
// panes, which fit the preview to their own size when they are smaller.
constexpr int kPreviewBoxSide = 512;
// The largest box a preview is made for, whatever the caller asks.
constexpr int kPreviewMaxBoxSide = 2048;

struct PreviewSize {
    int width = 0;
    int height = 0;

    bool operator==(const PreviewSize&) const = default;
};

// The size of a width x height picture fitted into a box keeping its shape:
// the picture's own size when it fits, never enlarged, each side at least 1.
// Nothing (0 x 0) for an empty picture or box.
PreviewSize FitPreview(int width, int height, int boxWidth, int boxHeight);

// Reduces a picture to a smaller or equal size, each output pixel the
// average of the block of pixels it covers. Stops with an empty bitmap as
// soon as `abandoned` answers true (it is asked once per output row).
Bitmap32 ReducePicture(const Bitmap32& picture, int width, int height,
                       const std::function<bool()>& abandoned = {});

struct PicturePreview {
    Bitmap32 pixels;  // the picture fitted into the box
    int width = 0;    // the whole picture's size, as its file gives it
    int height = 0;
};

// The caption under a preview: the picture's width and height, "1920 × 1080".
std::string PreviewCaption(const PicturePreview& preview);

// Decodes a picture file (BMP or JPEG, by its extension) for a preview that
// fits the box; nothing for a file the decoders refuse (damaged, beyond the
// picture limits, unreadable, not a picture, a folder), and nothing once
// `abandoned` answers true.
std::optional<PicturePreview> DecodePreview(PictureDecoder& decoder, const std::string& path,
                                            int boxWidth, int boxHeight,
                                            const std::function<bool()>& abandoned = {});

// Makes previews on threads of its own. Every request abandons the ones
// before it: a request still waiting is never decoded, the result of one in
// hand is dropped, and its reduction stops early. A decode cannot be stopped
// halfway, so a second thread takes the newest request while an abandoned
// decode (a huge picture) runs to its end; with both busy, the newest waits
// for the first to finish. The decoder must allow calls from several
// threads at once.
class PreviewWorker {
public:
    struct Result {
        uint64_t generation = 0;
        std::string path;
        std::optional<PicturePreview> preview;  // nothing: the file gives no preview
    };

    // `ready` runs on a worker thread whenever a result waits; it must only
    // wake the GUI thread, which then calls Take. `threadStart` and
    // `threadEnd` run on each worker thread first and last (a backend's
    // per-thread set-up, such as COM).
    PreviewWorker(PictureDecoder& decoder, std::function<void()> ready,
                  std::function<void()> threadStart = {}, std::function<void()> threadEnd = {});
    // Abandons every request and waits for the decodes in hand, if any.
    ~PreviewWorker();
    PreviewWorker(const PreviewWorker&) = delete;
    PreviewWorker& operator=(const PreviewWorker&) = delete;

    // Asks for the preview of a file in a box, abandoning every earlier
    // request; the request's generation.
    uint64_t Request(const std::string& path, int boxWidth, int boxHeight);
    // Abandons every request (the selection is no file any more).
    void Abandon();
    // The result of the newest request, once, when it is ready.
    std::optional<Result> Take();

private:
    struct Job {
        uint64_t generation = 0;
        std::string path;
        int boxWidth = 0;
        int boxHeight = 0;
    };

    void Run();
    bool Abandoned(uint64_t generation) const;

    PictureDecoder& decoder_;
    std::function<void()> ready_;
    std::function<void()> threadStart_;
    std::function<void()> threadEnd_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    // The newest request's generation; changed under the mutex, read
    // without it by the abandonment checks.
    std::atomic<uint64_t> generation_{0};
    std::optional<Job> pending_;
    std::optional<Result> result_;
    bool stopping_ = false;
    std::thread threads_[2];
};

}  // namespace duskpane
