#pragma once
// The framers' collection buffer: the bytes of a port not yet delivered or passed over. It
// grows in steps of 8192 bytes and is reused until emptied, then freed; removing a delivered
// packet from the front only moves the start, and the rest moves to the front when room is
// needed, so a notification costs one copy of its new bytes.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vx {

class CollectionBuffer {
public:
    static constexpr std::size_t kStep = 8192;

    const std::uint8_t* Data() const { return bytes_.data() + head_; }
    std::size_t Length() const { return length_; }
    std::size_t Capacity() const { return bytes_.size(); }

    // Room for `count` more bytes after the last one; Append or Commit them next.
    std::uint8_t* Reserve(std::size_t count);
    // The first `count` bytes of the room reserved now hold data.
    void Commit(std::size_t count) { length_ += count; }
    void Append(const void* data, std::size_t count);
    // Drops the first `count` bytes; an emptied buffer is freed.
    void RemoveFront(std::size_t count);
    void Discard();

private:
    std::vector<std::uint8_t> bytes_;  // its size is the capacity
    std::size_t head_ = 0;             // where the logical buffer starts in bytes_
    std::size_t length_ = 0;
};

}  // namespace vx
