// Bytes of a picture file in memory, and reading a source front to back.
#include "ui/byte_source.h"

#include <algorithm>
#include <cstring>

namespace duskpane {

namespace {

constexpr std::size_t kReadAhead = std::size_t(1) << 16;

}  // namespace

std::size_t MemoryBytes::ReadAt(uint64_t offset, uint8_t* into, std::size_t length) {
    if (offset >= size_) return 0;
    const std::size_t count = std::min<uint64_t>(length, size_ - offset);
    if (count > 0) std::memcpy(into, data_ + offset, count);
    return count;
}

SequentialReader::SequentialReader(ByteSource& source, uint64_t start)
    : source_(source), position_(start), buffer_(kReadAhead) {}

bool SequentialReader::Refill() {
    end_ = source_.ReadAt(position_, buffer_.data(), buffer_.size());
    at_ = 0;
    position_ += end_;
    return end_ > 0;
}

bool SequentialReader::Skip(uint64_t count) {
    const std::size_t buffered = end_ - at_;
    if (count <= buffered) {
        at_ += std::size_t(count);
        return true;
    }
    // Past the buffer: the source is asked for the rest only when more is read.
    position_ += count - buffered;
    at_ = end_ = 0;
    if (position_ > source_.Size()) return false;
    return true;
}

}  // namespace duskpane
