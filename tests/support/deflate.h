// Test data compressed as other programs write it: zlib (or gzip) streams
// made in one call, for the readers of compressed volumes and sequences.
#pragma once

#include <cstdint>
#include <vector>

#include <zlib.h>

inline std::vector<std::uint8_t> deflated(const std::vector<std::uint8_t>& in, bool gzip)
{
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, gzip ? 31 : 15, 8, Z_DEFAULT_STRATEGY);
    std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(in.size())) + 32);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}
