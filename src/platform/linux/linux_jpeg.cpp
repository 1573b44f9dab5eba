// JPEG decoding through libjpeg-turbo, row by row and only the part kept, with
// its errors turned into a failed result.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <new>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "platform/linux/linux_pictures.h"

namespace duskpane {

namespace {

// How much of the file is read at a time.
constexpr std::size_t kReadAhead = std::size_t(1) << 16;

// libjpeg reports through the error manager; its default error exit ends the
// process, so errors jump back to the decoder here instead.
struct JpegErrors {
    jpeg_error_mgr manager;  // first, so that libjpeg's pointer to it leads here
    std::jmp_buf jump;
    int warnings;
    bool cutShort;  // the data ended before the picture did
};

JpegErrors& ErrorsOf(j_common_ptr info) { return *reinterpret_cast<JpegErrors*>(info->err); }

[[noreturn]] void JumpOut(j_common_ptr info) { std::longjmp(ErrorsOf(info).jump, 1); }

// Level −1 is a warning (corrupt or missing data); higher levels are traces.
// The file ending before its end of image marker decides the outcome at
// once, the rest would only be made up; other damage (a bad code, compressed
// data running into a marker early) stays a warning, as the system decoder
// on Windows takes it too.
void CountWarning(j_common_ptr info, int level) {
    if (level >= 0) return;
    ++ErrorsOf(info).warnings;
    if (info->err->msg_code == JWRN_JPEG_EOF) {
        ErrorsOf(info).cutShort = true;
        JumpOut(info);
    }
}

void SayNothing(j_common_ptr) {}

void LimitScans(j_common_ptr info) {
    if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kJpegMaxScans)
        JumpOut(info);
}

// The file as libjpeg reads it: front to back through a buffer, the end of
// the data reported as libjpeg's own sources do (a warning, then an end of
// image marker), so that a picture cut short is seen as such.
struct JpegSource {
    jpeg_source_mgr manager;  // first, so that libjpeg's pointer to it leads here
    ByteSource* file;
    uint64_t position;  // of the next byte to fetch
    JOCTET* buffer;
};

JpegSource& SourceOf(j_decompress_ptr info) { return *reinterpret_cast<JpegSource*>(info->src); }

void StartSource(j_decompress_ptr) {}
void EndSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr info) {
    static const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};
    JpegSource& source = SourceOf(info);
    const std::size_t got = source.file->ReadAt(source.position, source.buffer, kReadAhead);
    if (got == 0) {
        WARNMS(info, JWRN_JPEG_EOF);
        source.manager.next_input_byte = kEndOfImage;
        source.manager.bytes_in_buffer = 2;
        return TRUE;
    }
    source.position += got;
    source.manager.next_input_byte = source.buffer;
    source.manager.bytes_in_buffer = got;
    return TRUE;
}

void SkipInput(j_decompress_ptr info, long count) {
    if (count <= 0) return;
    JpegSource& source = SourceOf(info);
    if (std::size_t(count) <= source.manager.bytes_in_buffer) {
        source.manager.next_input_byte += count;
        source.manager.bytes_in_buffer -= std::size_t(count);
        return;
    }
    source.position += std::size_t(count) - source.manager.bytes_in_buffer;
    source.manager.bytes_in_buffer = 0;
}

// Owns one decompressor: every bit of libjpeg memory goes when it is
// destroyed, whichever step failed. It lives in the frame that calls the
// steps below, never in a frame a jump leaves.
struct JpegSession {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    jpeg_progress_mgr progress{};
    JpegSource source{};
    std::vector<JOCTET> buffer;
    // The decoder stopped after the kept rows, before the end of the data.
    bool restUnread = false;

    explicit JpegSession(ByteSource& file) : buffer(kReadAhead) {
        info.err = jpeg_std_error(&errors.manager);
        errors.manager.error_exit = JumpOut;
        errors.manager.emit_message = CountWarning;
        errors.manager.output_message = SayNothing;
        progress.progress_monitor = LimitScans;
        source.manager.init_source = StartSource;
        source.manager.fill_input_buffer = FillInput;
        source.manager.skip_input_data = SkipInput;
        source.manager.resync_to_restart = jpeg_resync_to_restart;
        source.manager.term_source = EndSource;
        source.file = &file;
        source.buffer = buffer.data();
    }
    ~JpegSession() { jpeg_destroy_decompress(&info); }
    JpegSession(const JpegSession&) = delete;
    JpegSession& operator=(const JpegSession&) = delete;
};

// How the decoder's output samples become pixels.
enum class SampleKind { Rgb, Cmyk, InvertedCmyk };

// The steps that call libjpeg. An error leaves them by a jump to their
// setjmp, so nothing with a destructor may live in their frames.

bool ReadHeader(JpegSession& session) {
    if (setjmp(session.errors.jump)) return false;
    jpeg_create_decompress(&session.info);
    session.info.progress = &session.progress;
    session.info.src = &session.source.manager;
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

// Decodes the planned rows and columns into the bitmap.
bool ReadPixels(JpegSession& session, const PicturePlan& plan, JSAMPROW samples, SampleKind kind,
                Bitmap32& bitmap) {
    if (setjmp(session.errors.jump)) return false;
    jpeg_decompress_struct& info = session.info;
    jpeg_start_decompress(&info);
    // The whole picture at the plan's scale, before any crop.
    if (info.output_width != JDIMENSION((plan.width + plan.step - 1) / plan.step) ||
        info.output_height != JDIMENSION((plan.height + plan.step - 1) / plan.step))
        return false;
    // The decoder takes the edges of a cropped row for the picture's own:
    // its outermost pixels are upsampled as edge pixels, and the blocks
    // there smoothed (a progressive file missing some of its scans) without
    // the neighbours two blocks out. Two units of blocks more on each side,
    // and a pixel, keep the kept pixels exactly as a whole decode has them.
    const JDIMENSION margin = 2 * JDIMENSION(info.max_h_samp_factor * info.min_DCT_scaled_size) + 1;
    JDIMENSION column = JDIMENSION(plan.left) > margin ? JDIMENSION(plan.left) - margin : 0;
    JDIMENSION columns =
        std::min<JDIMENSION>(info.output_width, JDIMENSION(plan.left + plan.outWidth) + margin) - column;
    if (columns < info.output_width) jpeg_crop_scanline(&info, &column, &columns);
    const int components = kind == SampleKind::Rgb ? 3 : 4;
    const JSAMPROW first = samples + std::size_t(JDIMENSION(plan.left) - column) * std::size_t(components);

    if (plan.top > 0) jpeg_skip_scanlines(&info, JDIMENSION(plan.top));
    for (int row = 0; row < plan.outHeight; ++row) {
        if (jpeg_read_scanlines(&info, &samples, 1) != 1) return false;
        PackRow(first, bitmap.Row(row), plan.outWidth, kind);
    }
    // The rows below the kept part are not needed: of a single scan the rest
    // is only looked through (see ReachesEndOfImage); a file of several
    // scans has been read to its end already.
    if (info.output_scanline < info.output_height && !jpeg_has_multiple_scans(&info)) {
        session.restUnread = true;
        return true;
    }
    if (info.output_scanline < info.output_height)
        jpeg_skip_scanlines(&info, info.output_height - info.output_scanline);
    jpeg_finish_decompress(&info);
    return true;
}

// Whether the data after the point where the decoder stopped holds the end
// of image marker: through the rest of the compressed data (where 0xFF is
// always followed by 0x00, fill or a restart marker) and any marker segments
// after it. A file cut short ends first, just as decoding the rest would
// find; looking through the bytes costs a fraction of decoding them.
bool ReachesEndOfImage(JpegSession& session) {
    const JpegSource& source = session.source;
    SequentialReader reader(*source.file, source.position - source.manager.bytes_in_buffer);
    // A marker the decoder met and has not handled yet.
    int marker = session.info.unread_marker;
    for (;;) {
        if (marker == 0) {
            uint8_t byte = 0;
            bool afterFF = false;
            for (;;) {
                if (!reader.Next(byte)) return false;
                if (afterFF && byte != 0x00 && byte != 0xFF) break;
                afterFF = byte == 0xFF;
            }
            marker = byte;
        }
        if (marker == JPEG_EOI) return true;
        const bool standsAlone = marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
        marker = 0;
        if (standsAlone) continue;
        uint8_t high = 0, low = 0;
        if (!reader.Next(high) || !reader.Next(low)) return false;
        // The length counts its own two bytes; a shorter one skips nothing,
        // as the decoder takes it.
        const unsigned length = unsigned(high) << 8 | low;
        if (length > 2 && !reader.Skip(length - 2)) return false;
    }
}

}  // namespace

std::optional<DecodedPicture> DecodeJpeg(ByteSource& file, const PictureRequest& request, int* warnings) {
    if (warnings) *warnings = 0;
    if (file.Size() > kPictureMaxFileBytes) return std::nullopt;
    JpegSession session(file);
    const bool headerRead = ReadHeader(session);
    if (warnings) *warnings = session.errors.warnings;
    if (!headerRead || session.errors.cutShort) return std::nullopt;

    jpeg_decompress_struct& info = session.info;
    // Refused before the decoder allocates anything for the picture itself.
    // A file of several scans is held whole, as coefficients, until its last.
    const std::optional<PicturePlan> plan = PlanPicture(info.image_width, info.image_height, request);
    if (!plan) return std::nullopt;
    if (jpeg_has_multiple_scans(&info) && !PictureSizeAllowed(info.image_width, info.image_height))
        return std::nullopt;

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
    info.scale_num = 1;
    info.scale_denom = unsigned(plan->step);

    DecodedPicture picture{plan->width, plan->height, plan->left, plan->top, Bitmap32()};
    std::vector<uint8_t> samples;
    try {
        picture.pixels.Reset(plan->outWidth, plan->outHeight, kBlack);
        samples.resize(std::size_t(plan->width) * 4);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    const bool pixelsRead = ReadPixels(session, *plan, samples.data(), kind, picture.pixels);
    if (warnings) *warnings = session.errors.warnings;
    if (!pixelsRead || session.errors.cutShort) return std::nullopt;
    if (session.restUnread && !ReachesEndOfImage(session)) return std::nullopt;
    return picture;
}

std::optional<Bitmap32> DecodeJpegBytes(const uint8_t* data, std::size_t size, int* warnings) {
    MemoryBytes bytes(data, size);
    std::optional<DecodedPicture> picture = DecodeJpeg(bytes, PictureRequest::Whole(), warnings);
    if (!picture) return std::nullopt;
    return std::move(picture->pixels);
}

}  // namespace duskpane
