#include "dicom_image.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "common/matrix16d.h"
#include "common/vertex_math.h"
#include "volumes/dicom_rle.h"
#include "volumes/slice_pose.h"
#include "volumes/jpeg2000.h"
#include "volumes/jpeg_baseline.h"
#include "volumes/jpeg_lossless.h"

namespace {

// Multi-frame (enhanced) files keep geometry, rescale and window in
// functional groups: one shared by all frames and one per frame, each
// holding the attribute inside a macro sequence.
constexpr std::uint32_t shared_groups = dicom_tag(0x5200, 0x9229), per_frame_groups = dicom_tag(0x5200, 0x9230);
constexpr std::uint32_t pixel_measures = dicom_tag(0x0028, 0x9110), plane_position = dicom_tag(0x0020, 0x9113),
                        plane_orientation = dicom_tag(0x0020, 0x9116), value_transformation = dicom_tag(0x0028, 0x9145),
                        frame_voi = dicom_tag(0x0028, 0x9132);

const dicom_items_t* item_of(const dicom_dataset_t& ds, const dicom_items_t* scope, std::uint32_t sequence,
                             std::size_t k = 0)
{
    const dicom_element_t* e = ds.find(sequence, scope);
    return e && e->items.size() > k ? &e->items[k] : nullptr;
}

// The attribute in frame `frame`'s group (when frame >= 0), else the shared one.
std::vector<double> group_numbers(const dicom_dataset_t& ds, std::uint32_t macro, std::uint32_t tag, long frame)
{
    if (frame >= 0)
        if (const dicom_items_t* own = item_of(ds, nullptr, per_frame_groups, std::size_t(frame)))
            if (const dicom_items_t* m = item_of(ds, own, macro))
                if (std::vector<double> v = ds.numbers(tag, m); !v.empty())
                    return v;
    if (const dicom_items_t* shared = item_of(ds, nullptr, shared_groups))
        if (const dicom_items_t* m = item_of(ds, shared, macro))
            return ds.numbers(tag, m);
    return {};
}

// The top level's value, else the functional groups' (the first frame's).
std::vector<double> attribute(const dicom_dataset_t& ds, std::uint32_t macro, std::uint32_t tag)
{
    std::vector<double> v = ds.numbers(tag);
    return v.empty() ? group_numbers(ds, macro, tag, 0) : v;
}

std::optional<double> first_number(const std::vector<double>& v)
{
    return v.empty() ? std::nullopt : std::optional<double>(v[0]);
}
std::optional<double> first_number(const dicom_dataset_t& ds, std::uint32_t tag)
{
    return first_number(ds.numbers(tag));
}

// A stored value (of bits_stored bits, high bit as given) as kept: signed
// values sign-extended from the high bit and shifted by 32768.
// Branch-free, for the loops over every pixel: flipping the sign bit and
// adding 32768 - sign is sign extension plus the shift by 32768.
struct kept_t {
    int low = 0;
    std::uint32_t mask = 0xFFFF, sign = 0, add = 0;
    explicit kept_t(const dicom_image_t& im)
        : low(int(im.high_bit) + 1 - int(im.bits_stored)),
          mask((1u << im.bits_stored) - 1u),
          sign(im.signed_pixels ? 1u << (im.bits_stored - 1) : 0u),
          add(im.signed_pixels ? 32768u - sign : 0u)
    {
    }
    std::uint16_t operator()(std::uint32_t raw) const { return std::uint16_t((((raw >> low) & mask) ^ sign) + add); }
};

std::uint16_t kept_value(std::uint32_t raw, const dicom_image_t& im)
{
    return kept_t(im)(raw);
}

}  // namespace

bool read_dicom_image(const dicom_dataset_t& ds, dicom_image_t* im, wxString* why)
{
    *im = {};
    const auto rows = ds.integer(dicom_tag(0x0028, 0x0010)), columns = ds.integer(dicom_tag(0x0028, 0x0011));
    if (!rows || !columns || *rows < 1 || *columns < 1) {
        *why = "the file holds no image (no rows or columns)";
        return false;
    }
    im->rows = long(*rows);
    im->columns = long(*columns);
    im->samples = long(ds.integer(dicom_tag(0x0028, 0x0002)).value_or(1));
    im->bits_allocated = long(ds.integer(dicom_tag(0x0028, 0x0100)).value_or(16));
    im->bits_stored = long(ds.integer(dicom_tag(0x0028, 0x0101)).value_or(im->bits_allocated));
    im->high_bit = long(ds.integer(dicom_tag(0x0028, 0x0102)).value_or(im->bits_stored - 1));
    im->signed_pixels = ds.integer(dicom_tag(0x0028, 0x0103)).value_or(0) == 1;
    im->planar = ds.integer(dicom_tag(0x0028, 0x0006)).value_or(0) == 1;
    im->photometric = ds.text(dicom_tag(0x0028, 0x0004)).value_or("MONOCHROME2");
    if ((im->bits_allocated != 8 && im->bits_allocated != 16) || im->bits_stored < 1 ||
        im->bits_stored > im->bits_allocated || im->high_bit < im->bits_stored - 1 ||
        im->high_bit >= im->bits_allocated) {
        *why = wxString::Format("pixels of %ld bits (%ld stored, high bit %ld) cannot be read", im->bits_allocated,
                                im->bits_stored, im->high_bit);
        return false;
    }
    if (im->samples != 1 && !(im->samples == 3 && im->photometric == "RGB" && im->bits_allocated == 8)) {
        *why = wxString::Format("%ld samples per pixel (%s) cannot be read", im->samples, im->photometric);
        return false;
    }
    const std::vector<double> frames = ds.numbers(dicom_tag(0x0028, 0x0008));
    if (!frames.empty()) {
        if (!(frames[0] >= 1.0 && frames[0] <= 1e6 && frames[0] == std::floor(frames[0]))) {
            *why = "the number of frames is not a whole number from 1 on";
            return false;
        }
        im->frames = long(frames[0]);
    }

    im->slope = first_number(attribute(ds, value_transformation, dicom_tag(0x0028, 0x1053))).value_or(1.0);
    im->intercept = first_number(attribute(ds, value_transformation, dicom_tag(0x0028, 0x1052))).value_or(0.0);
    if (im->signed_pixels)
        im->intercept -= 32768.0 * im->slope;  // the values kept are 32768 higher
    const std::vector<double> centres = attribute(ds, frame_voi, dicom_tag(0x0028, 0x1050)),
                              widths = attribute(ds, frame_voi, dicom_tag(0x0028, 0x1051));
    im->window_centre = first_number(centres);
    im->window_width = first_number(widths);
    for (std::size_t i = 0; i < centres.size() && i < widths.size() && i < 16; ++i)
        if (widths[i] >= 1.0)
            im->window_presets.push_back({centres[i], widths[i]});
    if (const auto pad = ds.integer(dicom_tag(0x0028, 0x0120))) {
        // US or SS in the file; read either way as the stored bits.
        im->padding = kept_value(std::uint32_t(*pad) << (im->high_bit + 1 - im->bits_stored), *im);
    }

    const std::vector<double> spacing = attribute(ds, pixel_measures, dicom_tag(0x0028, 0x0030));
    if (spacing.size() >= 2 && spacing[0] > 0.0 && spacing[1] > 0.0) {
        im->row_spacing_mm = spacing[0];
        im->column_spacing_mm = spacing[1];
    } else {
        im->warnings.push_back("No usable Pixel Spacing: 1 mm assumed.");
    }
    im->thickness_mm = first_number(attribute(ds, pixel_measures, dicom_tag(0x0018, 0x0050))).value_or(0.0);
    if (const auto between = first_number(attribute(ds, pixel_measures, dicom_tag(0x0018, 0x0088)));
        between && *between > 0.0)
        im->spacing_between_mm = between;

    const std::vector<double> p = attribute(ds, plane_position, dicom_tag(0x0020, 0x0032));
    if (p.size() >= 3)
        im->position = std::array<double, 3>{p[0], p[1], p[2]};
    // Each frame of an enhanced file at its own position, when every frame gives one.
    if (const dicom_element_t* groups = ds.find(per_frame_groups);
        im->frames > 1 && groups && std::size_t(im->frames) == groups->items.size()) {
        for (long f = 0; f < im->frames; ++f) {
            const std::vector<double> at = group_numbers(ds, plane_position, dicom_tag(0x0020, 0x0032), f);
            if (at.size() < 3) {
                im->frame_positions.clear();
                break;
            }
            im->frame_positions.push_back({at[0], at[1], at[2]});
        }
    }
    const std::vector<double> o = attribute(ds, plane_orientation, dicom_tag(0x0020, 0x0037));
    if (o.size() >= 6) {
        vertex3d u{o[0], o[1], o[2]}, w{o[3], o[4], o[5]};
        const double lu = length(u), lw = length(w);
        if (lu > 0.0 && lw > 0.0 && std::isfinite(lu) && std::isfinite(lw)) {
            u = (1.0 / lu) * u;
            w = (1.0 / lw) * w;
            // Made exactly perpendicular: rounded cosines are only nearly so.
            w = w - dot(u, w) * u;
            const double lw2 = length(w);
            if (lw2 > 1e-6) {
                w = (1.0 / lw2) * w;
                im->orientation = std::array<double, 6>{u.x, u.y, u.z, w.x, w.y, w.z};
            }
        }
        const bool all_zero = std::all_of(o.begin(), o.begin() + 6, [](double v) { return v == 0.0; });
        if (!im->orientation && !all_zero)
            im->warnings.push_back("Image Orientation unusable (zero or parallel): the slice is taken unturned.");
    }
    im->series_uid = ds.text(dicom_tag(0x0020, 0x000E)).value_or("");
    im->modality = ds.text(dicom_tag(0x0008, 0x0060)).value_or("");
    im->series_number = long(first_number(ds, dicom_tag(0x0020, 0x0011)).value_or(0.0));
    im->content_time = long(first_number(ds, dicom_tag(0x0008, 0x0033)).value_or(0.0));
    if (im->frames > 1 && im->frame_positions.empty() && !im->spacing_between_mm)
        im->warnings.push_back("No Spacing Between Slices: the frames are placed one slice thickness apart.");
    // Native data must hold every frame the file counts.
    if (!ds.encapsulated) {
        const std::uint64_t frame_bytes = std::uint64_t(im->rows) * std::uint64_t(im->columns) *
                                          std::uint64_t(im->samples) * std::uint64_t(im->bits_allocated / 8);
        const std::uint64_t held = ds.pixels_left_out ? ds.native_length : std::uint64_t(ds.native_pixels.size());
        if (std::uint64_t(im->frames) * frame_bytes > held) {
            *why = wxString::Format("the pixel data hold fewer than the %ld frames of %ld x %ld the file counts",
                                    im->frames, im->columns, im->rows);
            return false;
        }
    }
    return true;
}

std::array<double, 6> dicom_slice_pose(const dicom_image_t& im, long frame)
{
    if (frame >= 0 && std::size_t(frame) < im.frame_positions.size()) {
        // Placed where its own functional group says: no step along the normal.
        dicom_image_t own = im;
        own.position = im.frame_positions[std::size_t(frame)];
        own.frame_positions.clear();
        return dicom_slice_pose(own, 0);
    }
    const auto p = im.position.value_or(std::array<double, 3>{0, 0, 0});
    const double step = im.spacing_between_mm.value_or(im.thickness_mm);
    if (!im.orientation)
        return slice_pose({1, 0, 0}, {0, 1, 0}, {p[0] / 10.0, p[1] / 10.0, -(p[2] + double(frame) * step) / 10.0});
    const auto& o = *im.orientation;
    const vertex3d u{o[0], o[1], o[2]}, w{o[3], o[4], o[5]};
    return slice_pose(u, w, 0.1 * (vertex3d{p[0], p[1], p[2]} + (double(frame) * step) * cross(u, w)));
}

bool decode_native_frame(const dicom_dataset_t& ds, const dicom_image_t& im, long frame,
                         std::vector<std::uint16_t>* out, wxString* why)
{
    out->resize(std::size_t(im.rows) * std::size_t(im.columns));
    return decode_native_frame(ds, im, frame, std::span<std::uint16_t>(*out), why);
}

bool decode_native_frame(const dicom_dataset_t& ds, const dicom_image_t& im, long frame, std::span<std::uint16_t> out,
                         wxString* why)
{
    if (ds.encapsulated) {
        *why = "the pixel data are compressed";
        return false;
    }
    const std::uint64_t pixels = std::uint64_t(im.rows) * std::uint64_t(im.columns);
    const std::uint64_t bytes_per_sample = std::uint64_t(im.bits_allocated / 8);
    const std::uint64_t frame_bytes = pixels * std::uint64_t(im.samples) * bytes_per_sample;
    if (frame < 0 || frame >= im.frames ||
        std::uint64_t(frame + 1) * frame_bytes > std::uint64_t(ds.native_pixels.size())) {
        *why =
            wxString::Format("the pixel data hold fewer than %ld frames of %ld x %ld", frame + 1, im.columns, im.rows);
        return false;
    }
    if (out.size() != pixels) {
        *why = "the frame buffer is not the image's size";
        return false;
    }
    const std::uint8_t* data = ds.native_pixels.data() + std::uint64_t(frame) * frame_bytes;
    std::uint16_t* to = out.data();
    const kept_t kept(im);
    // One plain loop per layout, so that each runs at memory speed.
    if (im.samples == 3) {
        for (std::uint64_t i = 0; i < pixels; ++i) {
            unsigned sum = 0;  // RGB by pixel or by plane, to grey
            for (std::uint64_t s = 0; s < 3; ++s)
                sum += im.planar ? data[s * pixels + i] : data[3 * i + s];
            to[i] = std::uint16_t(sum / 3);
        }
    } else if (bytes_per_sample == 1) {
        for (std::uint64_t i = 0; i < pixels; ++i)
            to[i] = kept(data[i]);
    } else if (ds.big_endian || std::endian::native != std::endian::little) {
        const int high = ds.big_endian ? 0 : 1;  // the byte holding the high bits
        for (std::uint64_t i = 0; i < pixels; ++i)
            to[i] = kept(std::uint32_t(data[2 * i + high]) << 8 | data[2 * i + 1 - high]);
    } else {
        // Little-endian words as they lie (this machine's order), then made kept in place.
        std::memcpy(to, data, std::size_t(pixels) * 2);
        for (std::uint64_t i = 0; i < pixels; ++i)
            to[i] = kept(to[i]);
    }
    return true;
}

namespace {

// The bytes of frame `frame`'s fragments: one fragment a frame, or all of
// them joined for a single frame split over several.
bool frame_bytes(const dicom_dataset_t& ds, const dicom_image_t& im, long frame, std::vector<std::uint8_t>* joined,
                 std::span<const std::uint8_t>* bytes, wxString* why)
{
    if (std::size_t(im.frames) == ds.fragments.size()) {
        *bytes = ds.fragments[std::size_t(frame)];
        return true;
    }
    if (im.frames == 1 && !ds.fragments.empty()) {
        for (const auto& f : ds.fragments)
            joined->insert(joined->end(), f.begin(), f.end());
        *bytes = *joined;
        return true;
    }
    *why = wxString::Format("%zu fragments of compressed data for %ld frames", ds.fragments.size(), im.frames);
    return false;
}

// The decoded samples of a frame as kept values: colour to grey by the mean
// of its components, like native data.
template <typename Sample, typename ToRaw>
void keep_samples(const std::vector<Sample>& samples, int components, const dicom_image_t& im, ToRaw to_raw,
                  std::vector<std::uint16_t>* out)
{
    const std::size_t pixels = std::size_t(im.rows) * std::size_t(im.columns);
    const kept_t kept(im);
    out->resize(pixels);
    for (std::size_t i = 0; i < pixels; ++i) {
        if (components == 3) {
            std::uint32_t sum = 0;
            for (std::size_t c = 0; c < 3; ++c)
                sum += to_raw(samples[3 * i + c]);
            (*out)[i] = std::uint16_t(sum / 3);
        } else {
            (*out)[i] = kept(to_raw(samples[i]));
        }
    }
}

bool decode_rle(const dicom_dataset_t& ds, const dicom_image_t& im, long frame, std::vector<std::uint16_t>* out,
                wxString* why)
{
    std::vector<std::uint8_t> joined, planes;
    std::span<const std::uint8_t> bytes;
    if (!frame_bytes(ds, im, frame, &joined, &bytes, why))
        return false;
    const std::size_t pixels = std::size_t(im.rows) * std::size_t(im.columns);
    const int bytes_per_sample = int(im.bits_allocated / 8);
    if (!decode_rle_frame(bytes, pixels, int(im.samples) * bytes_per_sample, &planes, why))
        return false;
    const kept_t kept(im);
    out->resize(pixels);
    for (std::size_t i = 0; i < pixels; ++i) {
        if (im.samples == 3) {
            // One plane per colour, by plane whatever Planar Configuration says.
            (*out)[i] = std::uint16_t((unsigned(planes[i]) + planes[pixels + i] + planes[2 * pixels + i]) / 3);
        } else if (bytes_per_sample == 2) {
            (*out)[i] = kept(std::uint32_t(planes[i]) << 8 | planes[pixels + i]);  // high byte first
        } else {
            (*out)[i] = kept(planes[i]);
        }
    }
    return true;
}

bool decode_lossless_jpeg(const dicom_dataset_t& ds, const dicom_image_t& im, long frame,
                          std::vector<std::uint16_t>* out, wxString* why)
{
    std::vector<std::uint8_t> joined;
    std::span<const std::uint8_t> bytes;
    if (!frame_bytes(ds, im, frame, &joined, &bytes, why))
        return false;
    jpeg_lossless_image_t j;
    if (!decode_jpeg_lossless(bytes, &j, why))
        return false;
    if (j.width != im.columns || j.height != im.rows || j.components != int(im.samples) ||
        j.precision > int(im.bits_allocated)) {
        *why = wxString::Format("the JPEG image (%ld x %ld, %d bits, %d components) is not the one the file describes",
                                j.width, j.height, j.precision, j.components);
        return false;
    }
    keep_samples(
        j.samples, j.components, im, [](std::uint16_t v) { return std::uint32_t(v); }, out);
    return true;
}

bool decode_baseline_jpeg(const dicom_dataset_t& ds, const dicom_image_t& im, long frame,
                          std::vector<std::uint16_t>* out, wxString* why)
{
    if (im.bits_stored > 8) {
        *why = dicom_unsupported_compression;  // 12-bit lossy JPEG
        return false;
    }
    std::vector<std::uint8_t> joined;
    std::span<const std::uint8_t> bytes;
    if (!frame_bytes(ds, im, frame, &joined, &bytes, why))
        return false;
    const std::uint64_t expected = std::uint64_t(im.rows) * std::uint64_t(im.columns) * std::uint64_t(im.samples);
    jpeg_baseline_image_t j;
    if (!decode_jpeg_baseline(bytes, expected, &j, why))
        return false;
    if (j.width != im.columns || j.height != im.rows || j.components != int(im.samples)) {
        *why = wxString::Format("the JPEG image (%ld x %ld, %d components) is not the one the file describes", j.width,
                                j.height, j.components);
        return false;
    }
    keep_samples(
        j.samples, j.components, im, [](std::uint8_t v) { return std::uint32_t(v); }, out);
    return true;
}

bool decode_jpeg2000_frame(const dicom_dataset_t& ds, const dicom_image_t& im, long frame,
                           std::vector<std::uint16_t>* out, wxString* why)
{
    std::vector<std::uint8_t> joined;
    std::span<const std::uint8_t> bytes;
    if (!frame_bytes(ds, im, frame, &joined, &bytes, why))
        return false;
    const std::uint64_t expected = std::uint64_t(im.rows) * std::uint64_t(im.columns) * std::uint64_t(im.samples);
    jpeg2000_image_t j;
    if (!decode_jpeg2000(bytes, expected, &j, why))
        return false;
    if (j.width != im.columns || j.height != im.rows || j.components != int(im.samples) ||
        j.precision > int(im.bits_allocated)) {
        *why = wxString::Format(
            "the JPEG 2000 image (%ld x %ld, %d bits, %d components) is not the one the file "
            "describes",
            j.width, j.height, j.precision, j.components);
        return false;
    }
    // Encoders may code 12 stored bits at 16, and signed data as unsigned
    // two's-complement patterns; lossy decoding can overshoot the range. So:
    // the value as a number, clamped to what the stored bits can hold, then
    // kept as any stored value.
    const bool pattern = im.signed_pixels && !j.is_signed;
    const std::int64_t low = im.signed_pixels ? -(std::int64_t(1) << (im.bits_stored - 1)) : 0;
    const std::int64_t high =
        im.signed_pixels ? (std::int64_t(1) << (im.bits_stored - 1)) - 1 : (std::int64_t(1) << im.bits_stored) - 1;
    const std::uint32_t mask = (1u << im.bits_stored) - 1u;
    const int shift = int(im.high_bit) + 1 - int(im.bits_stored);
    const std::int64_t half = std::int64_t(1) << (j.precision - 1);
    auto to_raw = [&](std::int32_t coded) {
        std::int64_t v = coded;
        if (pattern && v >= half)
            v -= 2 * half;
        return (std::uint32_t(std::clamp(v, low, high)) & mask) << shift;
    };
    keep_samples(j.samples, j.components, im, to_raw, out);
    return true;
}

}  // namespace

bool decode_frame(const dicom_dataset_t& ds, const dicom_image_t& im, long frame, std::span<std::uint16_t> out,
                  wxString* why)
{
    if (!ds.encapsulated)
        return decode_native_frame(ds, im, frame, out, why);
    std::vector<std::uint16_t> values;
    if (!decode_frame(ds, im, frame, &values, why))
        return false;
    if (values.size() != out.size()) {
        *why = "the frame buffer is not the image's size";
        return false;
    }
    std::copy(values.begin(), values.end(), out.begin());
    return true;
}

bool decode_frame(const dicom_dataset_t& ds, const dicom_image_t& im, long frame, std::vector<std::uint16_t>* out,
                  wxString* why)
{
    if (!ds.encapsulated)
        return decode_native_frame(ds, im, frame, out, why);
    if (frame < 0 || frame >= im.frames) {
        *why = wxString::Format("there is no frame %ld", frame + 1);
        return false;
    }
    if (ds.transfer_syntax == "1.2.840.10008.1.2.5")
        return decode_rle(ds, im, frame, out, why);
    if (ds.transfer_syntax == "1.2.840.10008.1.2.4.57" || ds.transfer_syntax == "1.2.840.10008.1.2.4.70")
        return decode_lossless_jpeg(ds, im, frame, out, why);
    if (ds.transfer_syntax == "1.2.840.10008.1.2.4.50" || ds.transfer_syntax == "1.2.840.10008.1.2.4.51")
        return decode_baseline_jpeg(ds, im, frame, out, why);
    if (ds.transfer_syntax == "1.2.840.10008.1.2.4.90" || ds.transfer_syntax == "1.2.840.10008.1.2.4.91")
        return decode_jpeg2000_frame(ds, im, frame, out, why);
    *why = dicom_unsupported_compression;
    return false;
}
