// The bytes of a picture file as its decoders read them: all in memory, or a
// file read piece by piece as the decoder asks, so that only what is shown
// of a large picture is ever read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace duskpane {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The length the file had when it was opened.
    virtual uint64_t Size() const = 0;
    // Copies up to `length` bytes from `offset` on; the number copied is
    // smaller only at the end of the data, when the file shrank meanwhile
    // or a read failed.
    virtual std::size_t ReadAt(uint64_t offset, uint8_t* into, std::size_t length) = 0;

    // Exactly `length` bytes from `offset` on; false when they are not all there.
    bool ReadExactly(uint64_t offset, uint8_t* into, std::size_t length) {
        return ReadAt(offset, into, length) == length;
    }
};

// Bytes the caller keeps in memory while the source is used.
class MemoryBytes final : public ByteSource {
public:
    MemoryBytes(const uint8_t* data, std::size_t size) : data_(data), size_(data ? size : 0) {}
    explicit MemoryBytes(const std::vector<uint8_t>& data) : MemoryBytes(data.data(), data.size()) {}

    uint64_t Size() const override { return size_; }
    std::size_t ReadAt(uint64_t offset, uint8_t* into, std::size_t length) override;

private:
    const uint8_t* data_;
    std::size_t size_;
};

// Reads a source front to back through a buffer of its own.
class SequentialReader {
public:
    SequentialReader(ByteSource& source, uint64_t start);

    // The next byte; false at the end of the data.
    bool Next(uint8_t& value) {
        if (at_ == end_ && !Refill()) return false;
        value = buffer_[at_++];
        return true;
    }
    // Passes over bytes; false when the data ends first.
    bool Skip(uint64_t count);

private:
    bool Refill();

    ByteSource& source_;
    uint64_t position_;  // of the byte after the buffered ones
    std::vector<uint8_t> buffer_;
    std::size_t at_ = 0;
    std::size_t end_ = 0;
};

}  // namespace duskpane
