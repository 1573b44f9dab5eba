// JPEG decoding through libjpeg-turbo, with its errors turned into a failed result.
#include <csetjmp>
#include <cstdio>
#include <new>
#include <vector>

#include <jpeglib.h>

#include "platform/linux/linux_pictures.h"

namespace duskpane {

namespace {

// libjpeg reports through the error manager; its default error exit ends the
// process, so errors jump back to the decoder here instead.
struct JpegErrors {
    jpeg_error_mgr manager;  // first, so that libjpeg's pointer to it leads here
    std::jmp_buf jump;
    int warnings;
};

JpegErrors& ErrorsOf(j_common_ptr info) { return *reinterpret_cast<JpegErrors*>(info->err); }

[[noreturn]] void JumpOut(j_common_ptr info) { std::longjmp(ErrorsOf(info).jump, 1); }

// Level −1 is a warning (corrupt or missing data); higher levels are traces.
void CountWarning(j_common_ptr info, int level) {
    if (level < 0) ++ErrorsOf(info).warnings;
}

void SayNothing(j_common_ptr) {}

void LimitScans(j_common_ptr info) {
    if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kJpegMaxScans)
        JumpOut(info);
}

// Owns one decompressor: every bit of libjpeg memory goes when it is
// destroyed, whichever step failed. It lives in the frame that calls the
// steps below, never in a frame a jump leaves.
struct JpegSession {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    jpeg_progress_mgr progress{};

    JpegSession() {
        info.err = jpeg_std_error(&errors.manager);
        errors.manager.error_exit = JumpOut;
        errors.manager.emit_message = CountWarning;
        errors.manager.output_message = SayNothing;
        progress.progress_monitor = LimitScans;
    }
    ~JpegSession() { jpeg_destroy_decompress(&info); }
    JpegSession(const JpegSession&) = delete;
    JpegSession& operator=(const JpegSession&) = delete;
};

// How the decoder's output samples become pixels.
enum class SampleKind { Rgb, Cmyk, InvertedCmyk };

// The steps that call libjpeg. An error leaves them by a jump to their
// setjmp, so nothing with a destructor may live in their frames.

bool ReadHeader(JpegSession& session, const uint8_t* data, std::size_t size) {
    if (setjmp(session.errors.jump)) return false;
    jpeg_create_decompress(&session.info);
    session.info.progress = &session.progress;
    jpeg_mem_src(&session.info, data, static_cast<unsigned long>(size));
    return jpeg_read_header(&session.info, TRUE) == JPEG_HEADER_OK;
}

// Packs one row of output samples into pixels.
void PackRow(const uint8_t* samples, Pixel* target, int width, SampleKind kind) {
    switch (kind) {
    case SampleKind::Rgb:
        for (int x = 0; x < width; ++x, samples += 3) target[x] = MakeRgb(samples[0], samples[1], samples[2]);
        break;
    case SampleKind::Cmyk:
    case SampleKind::InvertedCmyk: {
        // Adobe's files hold 255 − ink; plain CMYK holds the ink itself.
        const unsigned flip = kind == SampleKind::Cmyk ? 255u : 0u;
        for (int x = 0; x < width; ++x, samples += 4) {
            const unsigned k = samples[3] ^ flip;
            auto channel = [k, flip](unsigned ink) { return uint8_t(((ink ^ flip) * k + 127u) / 255u); };
            target[x] = MakeRgb(channel(samples[0]), channel(samples[1]), channel(samples[2]));
        }
        break;
    }
    }
}

bool ReadPixels(JpegSession& session, JSAMPROW samples, SampleKind kind, Bitmap32& bitmap) {
    if (setjmp(session.errors.jump)) return false;
    jpeg_start_decompress(&session.info);
    if (session.info.output_width != JDIMENSION(bitmap.Width()) ||
        session.info.output_height != JDIMENSION(bitmap.Height()))
        return false;
    while (session.info.output_scanline < session.info.output_height) {
        Pixel* target = bitmap.Row(int(session.info.output_scanline));
        if (jpeg_read_scanlines(&session.info, &samples, 1) != 1) return false;
        PackRow(samples, target, bitmap.Width(), kind);
    }
    return true;
}

}  // namespace

std::optional<Bitmap32> DecodeJpegBytes(const uint8_t* data, std::size_t size, int* warnings) {
    JpegSession session;
    const bool headerRead = ReadHeader(session, data, size);
    if (warnings) *warnings = session.errors.warnings;
    if (!headerRead) return std::nullopt;

    jpeg_decompress_struct& info = session.info;
    // Refused before the decoder allocates anything for the picture itself.
    if (!PictureSizeAllowed(info.image_width, info.image_height)) return std::nullopt;

    SampleKind kind = SampleKind::Rgb;
    switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
        info.out_color_space = JCS_RGB;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        info.out_color_space = JCS_CMYK;
        kind = info.saw_Adobe_marker ? SampleKind::InvertedCmyk : SampleKind::Cmyk;
        break;
    default:
        return std::nullopt;
    }

    Bitmap32 bitmap;
    std::vector<uint8_t> samples;
    try {
        bitmap.Reset(int(info.image_width), int(info.image_height), kBlack);
        samples.resize(std::size_t(info.image_width) * 4);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    const bool pixelsRead = ReadPixels(session, samples.data(), kind, bitmap);
    if (warnings) *warnings = session.errors.warnings;
    if (!pixelsRead) return std::nullopt;
    return bitmap;
}

}  // namespace duskpane
