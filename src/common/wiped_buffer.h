// A fixed buffer for a secret, wiped when it goes out of scope.
#pragma once
#include <windows.h>

#include <cstddef>

template <typename T, std::size_t Count>
class WipedBuffer {
public:
    WipedBuffer() = default;
    ~WipedBuffer() { SecureZeroMemory(items_, sizeof items_); }
    WipedBuffer(const WipedBuffer&) = delete;
    WipedBuffer& operator=(const WipedBuffer&) = delete;

    T* data() { return items_; }
    const T* data() const { return items_; }
    static constexpr std::size_t size() { return Count; }
    T& operator[](std::size_t index) { return items_[index]; }

private:
    T items_[Count] = {};
};
