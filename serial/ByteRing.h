#pragma once
// A ring of bytes of fixed capacity: the dispatcher's input ring (bytes read from the device,
// waiting for the handlers) and its output ring (bytes queued for the device). The head is where
// the next byte goes, the tail the oldest byte. Head and tail meet both when the ring is empty
// and when it is full; a flag tells the two apart, so every byte of the capacity is used.
//
// Not locked: the dispatcher guards each ring with a mutex of its own. The writer fills the
// stretch it was given and then commits it, so a device read goes straight into the ring.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vx {

class ByteRing {
public:
    // Empty, with room for `capacity` bytes.
    void Allocate(std::size_t capacity);
    // Capacity 0: the ring holds nothing and takes nothing (its port is closed).
    void Free();

    std::size_t Capacity() const { return bytes_.size(); }
    std::size_t Used() const;
    std::size_t Room() const { return Capacity() - Used(); }
    bool Full() const { return full_; }
    // Drops every byte held.
    void Clear();

    // The free bytes after the head that lie in one piece: up to the tail, or up to the end of
    // the storage when the free room wraps round.
    std::span<std::uint8_t> WritableStretch();
    // The first `count` bytes of the writable stretch now hold data.
    void CommitWrite(std::size_t count);
    // Copies `count` bytes in behind the last one; false (and nothing copied) when they do not
    // all fit.
    bool Put(const void* data, std::size_t count);

    // The oldest bytes that lie in one piece.
    std::span<const std::uint8_t> ReadableStretch() const;
    // Copies `count` bytes from `offset` bytes after the oldest one, without taking them; false
    // (and nothing copied) when fewer are held.
    bool Peek(std::size_t offset, void* out, std::size_t count) const;
    // Drops the oldest `count` bytes, at most as many as are held: a reader that reports what
    // it took after a clear never moves the tail past the head, which would make stale bytes
    // look unread.
    void Skip(std::size_t count);

private:
    std::size_t Wrap(std::size_t position) const { return position % bytes_.size(); }

    std::vector<std::uint8_t> bytes_;
    std::size_t head_ = 0;
    std::size_t tail_ = 0;
    bool full_ = false;
};

}  // namespace vx
