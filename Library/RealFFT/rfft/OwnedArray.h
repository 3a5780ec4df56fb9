#pragma once

#include "rfft/Assert.h"

#include <cstdint>
#include <memory>

namespace rfft
{
// An owned array of fixed element type whose size changes only by replacement.
template <typename T>
class OwnedArray
{
public:
    OwnedArray() = default;
    explicit OwnedArray(std::int32_t size) { resize(size); }
    ~OwnedArray() { _count = 0; }

    OwnedArray(const OwnedArray&) = delete;
    OwnedArray& operator=(const OwnedArray&) = delete;

    // A positive size replaces the storage by a new uninitialised one; 0 keeps what is there.
    void resize(std::int32_t size)
    {
        RFFT_ASSERT(size >= 0);
        if (size > 0) {
            _data.reset(new T[static_cast<std::size_t>(size)]);
            _count = size;
        }
    }

    T& operator[](std::int32_t pos)
    {
        RFFT_ASSERT(pos >= 0);
        RFFT_ASSERT(pos < _count);
        return _data[static_cast<std::size_t>(pos)];
    }
    const T& operator[](std::int32_t pos) const
    {
        RFFT_ASSERT(pos >= 0);
        RFFT_ASSERT(pos < _count);
        return _data[static_cast<std::size_t>(pos)];
    }

    T* data() { return _data.get(); }
    const T* data() const { return _data.get(); }
    std::int32_t size() const { return _count; }

private:
    std::unique_ptr<T[]> _data;
    std::int32_t _count = 0;
};
}
