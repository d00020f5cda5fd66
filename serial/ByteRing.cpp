#include "serial/ByteRing.h"

#include <algorithm>
#include <cstring>

namespace vx {

void ByteRing::Allocate(std::size_t capacity) {
    bytes_.assign(capacity, 0);
    head_ = tail_ = 0;
    full_ = false;
}

void ByteRing::Free() {
    std::vector<std::uint8_t>().swap(bytes_);
    head_ = tail_ = 0;
    full_ = false;
}

std::size_t ByteRing::Used() const {
    if (bytes_.empty()) {
        return 0;
    }
    if (full_) {
        return bytes_.size();
    }
    return Wrap(head_ + bytes_.size() - tail_);
}

void ByteRing::Clear() {
    tail_ = head_;
    full_ = false;
}

std::span<std::uint8_t> ByteRing::WritableStretch() {
    if (bytes_.empty() || full_) {
        return {};
    }
    const std::size_t end = head_ >= tail_ ? bytes_.size() : tail_;
    return {bytes_.data() + head_, end - head_};
}

void ByteRing::CommitWrite(std::size_t count) {
    if (count == 0 || bytes_.empty()) {
        return;
    }
    head_ = Wrap(head_ + count);
    full_ = head_ == tail_;
}

bool ByteRing::Put(const void* data, std::size_t count) {
    if (count > Room()) {
        return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (count > 0) {
        std::span<std::uint8_t> stretch = WritableStretch();
        const std::size_t piece = std::min(count, stretch.size());
        std::memcpy(stretch.data(), bytes, piece);
        CommitWrite(piece);
        bytes += piece;
        count -= piece;
    }
    return true;
}

std::span<const std::uint8_t> ByteRing::ReadableStretch() const {
    if (Used() == 0) {
        return {};
    }
    const std::size_t end = head_ > tail_ ? head_ : bytes_.size();
    return {bytes_.data() + tail_, end - tail_};
}

bool ByteRing::Peek(std::size_t offset, void* out, std::size_t count) const {
    if (offset > Used() || count > Used() - offset) {
        return false;
    }
    if (count == 0) {
        return true;
    }
    const std::size_t start = Wrap(tail_ + offset);
    const std::size_t first = std::min(count, bytes_.size() - start);
    auto* to = static_cast<std::uint8_t*>(out);
    std::memcpy(to, bytes_.data() + start, first);
    std::memcpy(to + first, bytes_.data(), count - first);
    return true;
}

void ByteRing::Skip(std::size_t count) {
    count = std::min(count, Used());
    if (count == 0) {
        return;
    }
    tail_ = Wrap(tail_ + count);
    full_ = false;
}

}  // namespace vx
