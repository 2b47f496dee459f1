#pragma once

// The block in which output is gathered before it is written, shared by the record files and the
// built-in commands so that every writer sends the host blocks of one size.

#include <cassert>
#include <cstddef>
#include <cstring>
#include <memory>
#include <utility>

namespace records {

// Large enough that a write costs little beside the copy of its bytes into the host's file cache,
// small enough to stay in the processor's cache while it is filled.
inline constexpr std::size_t WRITE_BLOCK_SIZE = std::size_t{1} << 20;

// Bytes gathered at the front of a block of memory. The bytes used never pass the capacity.
class WriteBlock {
  public:
    WriteBlock() = default;
    WriteBlock(WriteBlock&& other) noexcept { swap(*this, other); }
    WriteBlock& operator=(WriteBlock&& other) noexcept {
        swap(*this, other);
        return *this;
    }

    // Makes the capacity at least `bytes`, keeping the bytes used. Returns false, leaving the
    // block as it was, when there is no memory for it.
    [[nodiscard]] bool reserve(std::size_t bytes) noexcept;

    char* data() noexcept { return bytes_.get(); }
    const char* data() const noexcept { return bytes_.get(); }
    std::size_t capacity() const noexcept { return capacity_; }
    std::size_t used() const noexcept { return used_; }
    // Where the next bytes go: the first byte not used.
    char* end() noexcept { return bytes_.get() + used_; }

    // Counts `count` bytes that the caller has put at end() as used.
    void commit(std::size_t count) noexcept {
        assert(count <= capacity_ - used_);
        used_ += count;
    }
    void append(const char* from, std::size_t count) noexcept {
        assert(count <= capacity_ - used_);
        std::memcpy(end(), from, count);
        used_ += count;
    }
    // Keeps only the first `count` bytes used.
    void cut(std::size_t count) noexcept {
        assert(count <= used_);
        used_ = count;
    }
    // Drops the first `count` bytes used and moves the rest to the front.
    void dropFront(std::size_t count) noexcept;

    friend void swap(WriteBlock& a, WriteBlock& b) noexcept {
        a.bytes_.swap(b.bytes_);
        std::swap(a.capacity_, b.capacity_);
        std::swap(a.used_, b.used_);
    }

  private:
    std::unique_ptr<char[]> bytes_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
};

} // namespace records
