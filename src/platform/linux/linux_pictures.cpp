// Opening picture files on Linux and handing them to the decoders.
#include "platform/linux/linux_pictures.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "ui/bmp_reader.h"

namespace duskpane {

std::unique_ptr<LinuxFileBytes> LinuxFileBytes::Open(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        uint64_t(info.st_size) > kPictureMaxFileBytes) {
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<LinuxFileBytes>(new LinuxFileBytes(fd, uint64_t(info.st_size)));
}

LinuxFileBytes::~LinuxFileBytes() { close(fd_); }

std::size_t LinuxFileBytes::ReadAt(uint64_t offset, uint8_t* into, std::size_t length) {
    if (offset >= size_) return 0;
    length = std::size_t(std::min<uint64_t>(length, size_ - offset));
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = pread(fd_, into + done, length - done, off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // the file shrank, or a read error
        done += std::size_t(got);
    }
    return done;
}

std::optional<DecodedPicture> LinuxPictureDecoder::DecodeBmp(const std::string& path,
                                                            const PictureRequest& request) {
    const std::unique_ptr<LinuxFileBytes> file = LinuxFileBytes::Open(path);
    if (!file) return std::nullopt;
    return duskpane::DecodeBmp(*file, request);
}

std::optional<DecodedPicture> LinuxPictureDecoder::DecodeJpeg(const std::string& path,
                                                             const PictureRequest& request) {
    const std::unique_ptr<LinuxFileBytes> file = LinuxFileBytes::Open(path);
    if (!file) return std::nullopt;
    return duskpane::DecodeJpeg(*file, request);
}

}  // namespace duskpane
