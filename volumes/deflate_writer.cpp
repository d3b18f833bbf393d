#include "deflate_writer.h"

#include <algorithm>

#include "resources/safe_file.h"

deflate_writer_t::deflate_writer_t(safe_file_t& file, bool gzip) : file_(file), out_(std::size_t(1) << 18)
{
    ready_ = deflateInit2(&z_, 1, Z_DEFLATED, gzip ? 15 + 16 : 15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
}

deflate_writer_t::~deflate_writer_t()
{
    if (ready_)
        deflateEnd(&z_);
}

bool deflate_writer_t::write(const void* data, std::size_t length)
{
    const auto* p = static_cast<const Bytef*>(data);
    while (length > 0) {
        // zlib counts in 32 bits: a larger write goes in pieces.
        const std::size_t piece = std::min<std::size_t>(length, std::size_t(1) << 30);
        z_.next_in = const_cast<Bytef*>(p);
        z_.avail_in = static_cast<uInt>(piece);
        if (!drain(Z_NO_FLUSH))
            return false;
        p += piece;
        length -= piece;
    }
    return true;
}

bool deflate_writer_t::finish()
{
    return drain(Z_FINISH);
}

bool deflate_writer_t::drain(int flush)
{
    if (!ready_)
        return false;
    for (;;) {
        z_.next_out = out_.data();
        z_.avail_out = static_cast<uInt>(out_.size());
        const int status = deflate(&z_, flush);
        if (status == Z_STREAM_ERROR)
            return false;
        const std::size_t made = out_.size() - z_.avail_out;
        if (made > 0 && !file_.write(out_.data(), made))
            return false;
        if (flush == Z_FINISH ? status == Z_STREAM_END : z_.avail_in == 0 && z_.avail_out != 0)
            return true;
    }
}
