// Compressed data streamed into a file as it is written: zlib or gzip form,
// holding one output buffer, never the whole data. Volumes and tracked
// sequences are compressed this way at level 1: they are large, written
// while the user waits, and harder levels gain little on speckle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <zlib.h>

class safe_file_t;

class deflate_writer_t {
public:
    deflate_writer_t(safe_file_t& file, bool gzip);
    ~deflate_writer_t();
    deflate_writer_t(const deflate_writer_t&) = delete;
    deflate_writer_t& operator=(const deflate_writer_t&) = delete;

    bool ready() const { return ready_; }
    // Compresses `length` bytes into the file; false when zlib or the file fails.
    bool write(const void* data, std::size_t length);
    // Ends the stream.
    bool finish();
    // Compressed bytes written so far.
    std::uint64_t total_out() const { return z_.total_out; }

private:
    bool drain(int flush);

    safe_file_t& file_;
    std::vector<Bytef> out_;
    z_stream z_{};
    bool ready_ = false;
};
