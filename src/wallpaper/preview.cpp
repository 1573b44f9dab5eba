// Previews of picture files for the open-picture dialog, made off the GUI thread.
#include "wallpaper/preview.h"

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

#include "wallpaper/picture.h"

namespace duskpane {

namespace {

bool IsAbandoned(const std::function<bool()>& abandoned) { return abandoned && abandoned(); }

// The picture decoded for a preview in the box, and the whole picture's
// size. The decoders reduce the picture by 1/2, 1/4 or 1/8 on their own, as
// far as it still covers its fitted size; the preview then reduces the rest.
bool LoadForPreview(PictureDecoder& decoder, const std::string& path, int boxWidth, int boxHeight,
                    Picture& picture, PreviewSize& whole) {
    if (!LoadPicture(decoder, path, PictureRequest::ReducedToFit(boxWidth, boxHeight), picture)) return false;
    whole = {picture.width, picture.height};
    return true;
}

// Where output cell i of n begins among `size` source pixels.
int64_t CellStart(int64_t i, int64_t n, int64_t size) { return i * size / n; }

}  // namespace

PreviewSize FitPreview(int width, int height, int boxWidth, int boxHeight) {
    if (width <= 0 || height <= 0 || boxWidth <= 0 || boxHeight <= 0) return {};
    if (width <= boxWidth && height <= boxHeight) return {width, height};
    const int64_t w = width, h = height, bw = boxWidth, bh = boxHeight;
    // The side that meets the box first sets the scale; the other rounds.
    if (w * bh >= h * bw) return {boxWidth, int(std::max<int64_t>(1, (h * bw * 2 + w) / (w * 2)))};
    return {int(std::max<int64_t>(1, (w * bh * 2 + h) / (h * 2))), boxHeight};
}

Bitmap32 ReducePicture(const Bitmap32& picture, int width, int height, const std::function<bool()>& abandoned) {
    const int sourceWidth = picture.Width(), sourceHeight = picture.Height();
    if (width <= 0 || height <= 0 || width > sourceWidth || height > sourceHeight) return Bitmap32();
    if (width == sourceWidth && height == sourceHeight) return IsAbandoned(abandoned) ? Bitmap32() : picture;

    std::vector<int> columnStart(size_t(width) + 1);
    for (int i = 0; i <= width; ++i) columnStart[size_t(i)] = int(CellStart(i, width, sourceWidth));
    Bitmap32 reduced(width, height);
    std::vector<uint64_t> sums(size_t(width) * 3);
    for (int j = 0; j < height; ++j) {
        if (IsAbandoned(abandoned)) return Bitmap32();
        const int top = int(CellStart(j, height, sourceHeight));
        const int bottom = int(CellStart(j + 1, height, sourceHeight));
        std::fill(sums.begin(), sums.end(), 0);
        for (int y = top; y < bottom; ++y) {
            const Pixel* row = picture.Row(y);
            for (int i = 0; i < width; ++i) {
                uint64_t* sum = &sums[size_t(i) * 3];
                for (int x = columnStart[size_t(i)]; x < columnStart[size_t(i) + 1]; ++x) {
                    sum[0] += RedOf(row[x]);
                    sum[1] += GreenOf(row[x]);
                    sum[2] += BlueOf(row[x]);
                }
            }
        }
        Pixel* out = reduced.Row(j);
        for (int i = 0; i < width; ++i) {
            const uint64_t count = uint64_t(columnStart[size_t(i) + 1] - columnStart[size_t(i)]) *
                                   uint64_t(bottom - top);
            const uint64_t* sum = &sums[size_t(i) * 3];
            auto mean = [count](uint64_t total) { return uint8_t((total + count / 2) / count); };
            out[i] = MakeRgb(mean(sum[0]), mean(sum[1]), mean(sum[2]));
        }
    }
    return reduced;
}

std::string PreviewCaption(const PicturePreview& preview) {
    return std::to_string(preview.width) + " × " + std::to_string(preview.height);
}

std::optional<PicturePreview> DecodePreview(PictureDecoder& decoder, const std::string& path, int boxWidth,
                                            int boxHeight, const std::function<bool()>& abandoned) {
    if (path.empty() || IsAbandoned(abandoned)) return std::nullopt;
    boxWidth = std::clamp(boxWidth, 1, kPreviewMaxBoxSide);
    boxHeight = std::clamp(boxHeight, 1, kPreviewMaxBoxSide);
    Picture picture;
    PreviewSize whole;
    if (!LoadForPreview(decoder, path, boxWidth, boxHeight, picture, whole)) return std::nullopt;
    // What a decoder hands back is never larger than the picture it states.
    const int heldWidth = picture.pixels.Width(), heldHeight = picture.pixels.Height();
    if (picture.pixels.Empty() || heldWidth > whole.width || heldHeight > whole.height) return std::nullopt;
    const PreviewSize fitted = FitPreview(whole.width, whole.height, boxWidth, boxHeight);
    PicturePreview preview;
    preview.width = whole.width;
    preview.height = whole.height;
    preview.pixels = ReducePicture(picture.pixels, std::min(fitted.width, heldWidth),
                                   std::min(fitted.height, heldHeight), abandoned);
    if (preview.pixels.Empty()) return std::nullopt;
    return preview;
}

// ---------------------------------------------------------------- the worker

PreviewWorker::PreviewWorker(PictureDecoder& decoder, std::function<void()> ready,
                             std::function<void()> threadStart, std::function<void()> threadEnd)
    : decoder_(decoder),
      ready_(std::move(ready)),
      threadStart_(std::move(threadStart)),
      threadEnd_(std::move(threadEnd)) {
    for (std::thread& thread : threads_) thread = std::thread([this] { Run(); });
}

PreviewWorker::~PreviewWorker() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        ++generation_;
        pending_.reset();
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

uint64_t PreviewWorker::Request(const std::string& path, int boxWidth, int boxHeight) {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint64_t generation = ++generation_;
    pending_ = Job{generation, path, boxWidth, boxHeight};
    result_.reset();
    wake_.notify_one();
    return generation;
}

void PreviewWorker::Abandon() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++generation_;
    pending_.reset();
    result_.reset();
}

std::optional<PreviewWorker::Result> PreviewWorker::Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!result_ || result_->generation != generation_) return std::nullopt;
    std::optional<Result> taken = std::move(result_);
    result_.reset();
    return taken;
}

bool PreviewWorker::Abandoned(uint64_t generation) const { return generation != generation_.load(); }

void PreviewWorker::Run() {
    if (threadStart_) threadStart_();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || pending_.has_value(); });
        if (stopping_) break;
        Job job = std::move(*pending_);
        pending_.reset();
        lock.unlock();
        std::optional<PicturePreview> preview;
        try {
            preview = DecodePreview(decoder_, job.path, job.boxWidth, job.boxHeight,
                                    [this, generation = job.generation] { return Abandoned(generation); });
        } catch (const std::exception&) {
            // A picture that cannot be had (memory among the causes) gives no preview.
        }
        lock.lock();
        if (stopping_ || job.generation != generation_) continue;
        result_ = Result{job.generation, std::move(job.path), std::move(preview)};
        lock.unlock();
        if (ready_) ready_();
        lock.lock();
    }
    lock.unlock();
    if (threadEnd_) threadEnd_();
}

}  // namespace duskpane
