// Reading picture files whole on Linux and handing them to the byte decoders.
#include "platform/linux/linux_pictures.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <new>
#include <vector>

namespace duskpane {

namespace {

// Closes a file descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// The whole content of a regular file; nullopt for anything else. The file
// is opened without blocking so that a pipe named like a picture cannot hang
// the caller, and then refused for not being a regular file.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) {
    FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.Get() < 0) return std::nullopt;
    struct stat info {};
    if (fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    if (info.st_size < 0 || uint64_t(info.st_size) > kPictureMaxFileBytes) return std::nullopt;

    std::vector<uint8_t> data;
    try {
        // The file may change while it is read: read until the end, whatever
        // the size said, but never past the limit.
        data.resize(std::size_t(info.st_size) + 1);
        std::size_t used = 0;
        for (;;) {
            if (used == data.size()) {
                if (data.size() > kPictureMaxFileBytes) return std::nullopt;
                data.resize(std::min<std::size_t>(data.size() * 2, std::size_t(kPictureMaxFileBytes) + 1));
            }
            const ssize_t got = read(file.Get(), data.data() + used, data.size() - used);
            if (got < 0) {
                if (errno == EINTR) continue;
                return std::nullopt;
            }
            if (got == 0) break;
            used += std::size_t(got);
        }
        if (used > kPictureMaxFileBytes) return std::nullopt;
        data.resize(used);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return data;
}

}  // namespace

bool PictureSizeAllowed(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= kPictureMaxSide && height <= kPictureMaxSide &&
           width * height <= kPictureMaxPixels;
}

std::optional<Bitmap32> LinuxPictureDecoder::DecodeBmp(const std::string& path) {
    const std::optional<std::vector<uint8_t>> data = ReadWholeFile(path);
    if (!data) return std::nullopt;
    return DecodeBmpBytes(data->data(), data->size());
}

std::optional<Bitmap32> LinuxPictureDecoder::DecodeJpeg(const std::string& path) {
    const std::optional<std::vector<uint8_t>> data = ReadWholeFile(path);
    if (!data) return std::nullopt;
    return DecodeJpegBytes(data->data(), data->size());
}

}  // namespace duskpane
