#include "qct_file.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "volumes/file_bytes.h"
#include "volumes/slice_pose.h"
#include "volumes/slice_recording.h"

namespace {

constexpr std::size_t record_bytes = 128;
constexpr long max_records = 2048;

class qct_bytes_t {
public:
    explicit qct_bytes_t(std::vector<std::uint8_t> b) : b_(std::move(b)) {}
    std::size_t size() const { return b_.size(); }
    bool has(std::uint64_t at, std::uint64_t n) const { return at <= b_.size() && n <= b_.size() - at; }
    std::int32_t i32(std::size_t at) const
    {
        return std::int32_t(std::uint32_t(b_[at]) | std::uint32_t(b_[at + 1]) << 8 | std::uint32_t(b_[at + 2]) << 16 |
                            std::uint32_t(b_[at + 3]) << 24);
    }
    float f32(std::size_t at) const
    {
        const std::uint32_t u = std::uint32_t(i32(at));
        float f;
        std::memcpy(&f, &u, 4);
        return f;
    }
    std::uint16_t u16(std::size_t at) const { return std::uint16_t(b_[at] | b_[at + 1] << 8); }

private:
    std::vector<std::uint8_t> b_;
};

// The header's record count and offsets; false when they do not fit the bytes.
bool header(const qct_bytes_t& b, long* records, wxString* why)
{
    if (!b.has(0, 40) || b.i32(32) != 1) {
        *why = "it is not a QCT file (no version 1 header)";
        return false;
    }
    *records = b.i32(36);
    if (*records < 1 || *records > max_records || !b.has(40, 4 * std::uint64_t(*records) + 304)) {
        *why = wxString::Format("it counts %ld records, or is shorter than its header", *records);
        return false;
    }
    return true;
}

wxString date_text(std::int32_t packed)
{
    return wxString::Format("%02d/%02d/%04d", packed % 32, (packed / 32) % 16, packed / 512);
}

}  // namespace

bool looks_like_qct(const wxString& path)
{
    std::vector<std::uint8_t> bytes;
    if (!read_file_bytes(path, &bytes, nullptr, 40 + 4 * max_records + 304))
        return false;
    const qct_bytes_t b(std::move(bytes));
    long records = 0;
    wxString why;
    return header(b, &records, &why);
}

bool read_qct(const wxString& path, slice_stack_t* stack, long* ignored, wxString* scan, wxString* why)
{
    *ignored = 0;
    std::vector<std::uint8_t> bytes;
    if (!read_file_bytes(path, &bytes)) {
        *why = "it cannot be read";
        return false;
    }
    const qct_bytes_t b(std::move(bytes));
    long records = 0;
    if (!header(b, &records, why))
        return false;
    const std::size_t dates = 40 + 4 * std::size_t(records);
    *scan = "Scanned on " + date_text(b.i32(dates + 300)) + ", DOB " + date_text(b.i32(dates + 140));

    std::vector<std::size_t> offsets;
    for (long k = 0; k < records; ++k) {
        const std::int64_t at = std::uint32_t(b.i32(40 + 4 * std::size_t(k)));
        if (!b.has(std::uint64_t(at), record_bytes)) {
            *why = wxString::Format("record %ld lies outside the file", k + 1);
            return false;
        }
        offsets.push_back(std::size_t(at));
    }
    long first = -1;
    for (long k = 0; k < records && first < 0; ++k)
        if (b.i32(offsets[std::size_t(k)] + 16) == 1)
            first = k;
    if (first < 0) {
        *why = "no record is marked as the first slice";
        return false;
    }
    slice_stack_t out;
    out.intercept = -1000.0;
    for (long k = first; k < records; ++k) {
        const std::size_t at = offsets[std::size_t(k)];
        const std::int32_t width = b.i32(at + 8), height = b.i32(at + 12);
        const double dx = b.f32(at + 24), dy = b.f32(at + 28), z = b.f32(at + 40);
        // A slice of no pixels, or pixels of no size, is no slice ("not negative" would pass 0).
        if (b.i32(at) != 1 || width < 1 || height < 1 || !(dx > 0.0) || !(dy > 0.0) || !std::isfinite(dx) ||
            !std::isfinite(dy) || !std::isfinite(z)) {
            *why = wxString::Format("slice %ld has an unusable record", k - first);
            return false;
        }
        if (out.images.empty()) {
            out.columns = width;
            out.rows = height;
            out.column_spacing_mm = dx;
            out.row_spacing_mm = dy;
        } else if (width != out.columns || height != out.rows) {
            ++*ignored;
            continue;
        }
        const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
        if (!b.has(at + record_bytes, 2 * pixels)) {
            *why = wxString::Format("the pixels of slice %ld run past the end of the file", k - first);
            return false;
        }
        cip_t image = cip_t::make_16bit(width, height);
        if (image.empty()) {
            *why = "Error: unable to allocate space for image data";
            return false;
        }
        for (std::uint64_t i = 0; i < pixels; ++i)
            image.samples()[i] = b.u16(at + record_bytes + 2 * i);
        out.images.push_back(image);
        out.poses.push_back(pose_record(slice_pose({1, 0, 0}, {0, 1, 0}, {0, 0, z / 10.0})));
    }
    *stack = std::move(out);
    return true;
}
