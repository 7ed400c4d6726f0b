// Counted byte string of at most N bytes, with N bytes of storage behind the
// count. Two strings are equal when their counts and counted bytes are equal.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace protocol {

template <std::size_t N>
class ByteString {
public:
    ByteString() = default;
    ByteString(std::initializer_list<std::uint8_t> bytes) {
        for (auto b : bytes) Append(b);
    }

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    std::uint8_t operator[](std::size_t i) const { return storage_[i]; }
    const std::array<std::uint8_t, N>& storage() const { return storage_; }

    // Appends when there is room; returns false (and drops the byte) when full.
    bool Append(std::uint8_t byte) {
        if (count_ >= N) return false;
        storage_[count_++] = byte;
        return true;
    }
    void SetCount(std::size_t count) { count_ = std::min(count, N); }
    void Clear() { count_ = 0; }
    void ZeroStorage() { storage_.fill(0); }
    // Drops the oldest byte and appends `byte`, keeping the count.
    void Shift(std::uint8_t byte) {
        if (count_ == 0) return;
        std::copy(storage_.begin() + 1, storage_.begin() + count_, storage_.begin());
        storage_[count_ - 1] = byte;
    }
    std::string ToBytes() const {
        return std::string(reinterpret_cast<const char*>(storage_.data()), count_);
    }

    friend bool operator==(const ByteString& a, const ByteString& b) {
        return a.count_ == b.count_ && std::equal(a.storage_.begin(), a.storage_.begin() + a.count_, b.storage_.begin());
    }

private:
    std::size_t count_ = 0;
    std::array<std::uint8_t, N> storage_{};
};

}  // namespace protocol
