// Reads fixed-size fields from the front of a fuzz input, zeros once it runs
// out, so that any input, however short, drives a harness to the end.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

struct reader_t {
    const std::uint8_t* data;
    std::size_t size;
    template <typename T>
    T next()
    {
        T v{};
        const std::size_t n = std::min(sizeof v, size);
        std::memcpy(&v, data, n);
        data += n;
        size -= n;
        return v;
    }
};
