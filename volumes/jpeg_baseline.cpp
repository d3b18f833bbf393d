#include "jpeg_baseline.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

// libjpeg reports errors through a handler that must not return: jump back
// to the decoder with the message instead of letting it exit.
struct error_manager_t {
    jpeg_error_mgr base;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX] = {};
};

void error_exit(j_common_ptr info)
{
    auto* err = reinterpret_cast<error_manager_t*>(info->err);
    info->err->format_message(info, err->message);
    std::longjmp(err->back, 1);
}

// Warnings (corrupt data the library can step over) are counted by the
// library; a damaged stream is refused below rather than shown half-decoded.
void output_message(j_common_ptr) {}

// Everything with a destructor lives outside the function that calls setjmp:
// a longjmp over it would skip the destructor.
bool decode(std::span<const std::uint8_t> stream, std::uint64_t max_samples, jpeg_decompress_struct& info,
            error_manager_t& err, jpeg_baseline_image_t* out, std::vector<JSAMPROW>& rows, wxString* why)
{
    if (setjmp(err.back)) {
        *why = wxString::Format("the JPEG data are damaged (%s)", err.message);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, stream.data(), static_cast<unsigned long>(stream.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        *why = "the JPEG data hold no image";
        return false;
    }
    if (info.data_precision != 8) {
        *why = wxString::Format("%d-bit lossy JPEG is not supported", info.data_precision);
        return false;
    }
    info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    const std::uint64_t samples =
        std::uint64_t(info.image_width) * info.image_height * (info.num_components == 1 ? 1 : 3);
    if (info.num_components != 1 && info.num_components != 3) {
        *why = wxString::Format("JPEG data with %d components are not supported", info.num_components);
        return false;
    }
    if (samples == 0 || samples > max_samples) {
        *why =
            wxString::Format("the JPEG image (%u x %u) is not the size expected", info.image_width, info.image_height);
        return false;
    }
    jpeg_start_decompress(&info);
    out->width = info.output_width;
    out->height = info.output_height;
    out->components = info.output_components;
    const std::size_t stride = std::size_t(info.output_width) * std::size_t(info.output_components);
    out->samples.assign(stride * info.output_height, 0);
    rows.resize(info.output_height);
    for (std::size_t r = 0; r < rows.size(); ++r)
        rows[r] = out->samples.data() + r * stride;
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(&info, rows.data() + info.output_scanline, info.output_height - info.output_scanline);
    if (err.base.num_warnings > 0) {
        *why = "the JPEG data are damaged (the stream is incomplete or corrupt)";
        return false;
    }
    jpeg_finish_decompress(&info);
    return true;
}

}  // namespace

bool decode_jpeg_baseline(std::span<const std::uint8_t> stream, std::uint64_t max_samples, jpeg_baseline_image_t* out,
                          wxString* why)
{
    *out = {};
    if (stream.size() < 4) {
        *why = "the JPEG data are too short";
        return false;
    }
    jpeg_decompress_struct info{};
    error_manager_t err;
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = error_exit;
    err.base.output_message = output_message;
    std::vector<JSAMPROW> rows;
    const bool ok = decode(stream, max_samples, info, err, out, rows, why);
    jpeg_destroy_decompress(&info);
    if (!ok)
        *out = {};
    return ok;
}
