#include "jpeg2000.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <openjpeg.h>

namespace {

struct memory_stream_t {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
};

OPJ_SIZE_T read_bytes(void* buffer, OPJ_SIZE_T n, void* user)
{
    auto* s = static_cast<memory_stream_t*>(user);
    const std::size_t left = s->bytes.size() - s->at;
    if (left == 0)
        return static_cast<OPJ_SIZE_T>(-1);  // end of stream, as OpenJPEG expects it
    const std::size_t k = std::min<std::size_t>(n, left);
    std::memcpy(buffer, s->bytes.data() + s->at, k);
    s->at += k;
    return k;
}

OPJ_OFF_T skip_bytes(OPJ_OFF_T n, void* user)
{
    auto* s = static_cast<memory_stream_t*>(user);
    if (n < 0) {
        const std::size_t back = std::min<std::size_t>(std::size_t(-n), s->at);
        s->at -= back;
        return -OPJ_OFF_T(back);
    }
    const std::size_t k = std::min<std::size_t>(std::size_t(n), s->bytes.size() - s->at);
    s->at += k;
    return OPJ_OFF_T(k);
}

OPJ_BOOL seek_bytes(OPJ_OFF_T to, void* user)
{
    auto* s = static_cast<memory_stream_t*>(user);
    if (to < 0 || std::uint64_t(to) > s->bytes.size())
        return OPJ_FALSE;
    s->at = std::size_t(to);
    return OPJ_TRUE;
}

// The first error OpenJPEG reports, as the reason; warnings and notes are dropped.
void keep_error(const char* msg, void* user)
{
    auto* why = static_cast<wxString*>(user);
    if (why->empty())
        *why = wxString(msg).Trim();
}
void ignore(const char*, void*) {}

struct codec_deleter {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct stream_deleter {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct image_deleter {
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};

bool jp2_signature(std::span<const std::uint8_t> b)
{
    static const std::uint8_t sig[] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    return b.size() >= sizeof sig && std::equal(std::begin(sig), std::end(sig), b.begin());
}

}  // namespace

bool decode_jpeg2000(std::span<const std::uint8_t> stream, std::uint64_t max_samples, jpeg2000_image_t* out,
                     wxString* why)
{
    *out = {};
    if (stream.size() < 4) {
        *why = "the JPEG 2000 data are too short";
        return false;
    }
    std::unique_ptr<opj_codec_t, codec_deleter> codec(
        opj_create_decompress(jp2_signature(stream) ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    wxString error;
    opj_set_error_handler(codec.get(), keep_error, &error);
    opj_set_warning_handler(codec.get(), ignore, nullptr);
    opj_set_info_handler(codec.get(), ignore, nullptr);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(codec.get(), &parameters)) {
        *why = "the JPEG 2000 decoder could not be set up";
        return false;
    }
    memory_stream_t source{stream};
    std::unique_ptr<opj_stream_t, stream_deleter> in(opj_stream_create(64 * 1024, OPJ_TRUE));
    opj_stream_set_user_data(in.get(), &source, nullptr);
    opj_stream_set_user_data_length(in.get(), stream.size());
    opj_stream_set_read_function(in.get(), read_bytes);
    opj_stream_set_skip_function(in.get(), skip_bytes);
    opj_stream_set_seek_function(in.get(), seek_bytes);

    auto failed = [&](const char* what) {
        *why = wxString::Format("the JPEG 2000 data are damaged (%s)", error.empty() ? wxString(what) : error);
        return false;
    };
    opj_image_t* raw = nullptr;
    if (!opj_read_header(in.get(), codec.get(), &raw))
        return failed("no readable header");
    std::unique_ptr<opj_image_t, image_deleter> image(raw);
    const std::uint64_t width = image->x1 - image->x0, height = image->y1 - image->y0;
    const int components = int(image->numcomps);
    if (components != 1 && components != 3) {
        *why = wxString::Format("JPEG 2000 data with %d components are not supported", components);
        return false;
    }
    if (width == 0 || height == 0 || width * height * std::uint64_t(components) > max_samples) {
        *why = wxString::Format("the JPEG 2000 image (%llu x %llu) is not the size expected",
                                static_cast<unsigned long long>(width), static_cast<unsigned long long>(height));
        return false;
    }
    if (!opj_decode(codec.get(), in.get(), image.get()) || !opj_end_decompress(codec.get(), in.get()))
        return failed("the image could not be decoded");

    const opj_image_comp_t& first = image->comps[0];
    for (int c = 0; c < components; ++c) {
        const opj_image_comp_t& comp = image->comps[c];
        // Subsampled components (as some colour files have) would need resampling: refused.
        if (comp.w != width || comp.h != height || comp.dx != 1 || comp.dy != 1 || !comp.data ||
            comp.prec != first.prec || comp.sgnd != first.sgnd) {
            *why = "JPEG 2000 components of different sizes or depths are not supported";
            return false;
        }
    }
    if (first.prec < 1 || first.prec > 16) {
        *why = wxString::Format("%u-bit JPEG 2000 data are not supported", first.prec);
        return false;
    }
    out->width = long(width);
    out->height = long(height);
    out->precision = int(first.prec);
    out->is_signed = first.sgnd != 0;
    out->components = components;
    const std::size_t pixels = std::size_t(width * height);
    out->samples.resize(pixels * std::size_t(components));
    for (std::size_t i = 0; i < pixels; ++i)
        for (int c = 0; c < components; ++c)
            out->samples[i * std::size_t(components) + std::size_t(c)] = image->comps[c].data[i];
    return true;
}
