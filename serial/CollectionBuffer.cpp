#include "serial/CollectionBuffer.h"

#include <algorithm>
#include <cstring>

namespace vx {

std::uint8_t* CollectionBuffer::Reserve(std::size_t count) {
    if (head_ > 0 && head_ + length_ + count >= bytes_.size()) {
        std::memmove(bytes_.data(), bytes_.data() + head_, length_);
        head_ = 0;
    }
    std::size_t capacity = bytes_.size();
    while (length_ + count >= capacity) {
        capacity += kStep;
    }
    if (capacity != bytes_.size()) {
        bytes_.resize(capacity);
    }
    return bytes_.data() + head_ + length_;
}

void CollectionBuffer::Append(const void* data, std::size_t count) {
    std::memcpy(Reserve(count), data, count);
    Commit(count);
}

void CollectionBuffer::RemoveFront(std::size_t count) {
    count = std::min(count, length_);
    if (count == 0) {
        return;
    }
    head_ += count;
    length_ -= count;
    if (length_ == 0) {
        Discard();
    }
}

void CollectionBuffer::Discard() {
    length_ = 0;
    head_ = 0;
    std::vector<std::uint8_t>().swap(bytes_);
}

}  // namespace vx
