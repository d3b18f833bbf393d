// A stack of parallel slices (CT read from DICOM or volume files) seen as a
// volume: values at any pixel of a slice by bilinear interpolation, at any
// point in space by interpolating between the two slices around it, and
// along a line as a profile (what the thickness fit samples). Read-only once
// built, so many threads may sample it at once.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <wx/string.h>

#include "common/cip.h"
#include "common/counted_array_ptr.h"
#include "common/matrix16d.h"
#include "common/vertex.h"

class slice_volume_t {
public:
    struct source_t {
        std::vector<cip_t> frames;  // 16-bit values, or 8-bit pixels when a frame has none
        std::vector<counted_array_ptr<float>> poses;
        matrix16d calibration;                 // frame to probe (the identity for slices)
        double xscale = 0.1, yscale = 0.1;     // cm per pixel
        double slope = 1.0, offset = 0.0;      // value to Hounsfield units
        std::optional<std::uint16_t> padding;  // no data
    };
    // False, with the reason, without frames, with a frame missing its pose
    // or of another size, or with slices that are not parallel.
    static std::optional<slice_volume_t> build(source_t source, wxString* why);
    // The session's recording as it stands.
    static std::optional<slice_volume_t> from_session(wxString* why);

    long frames() const { return long(source_.frames.size()); }
    // The slices' common normal (unit length), and their pixel sizes (cm).
    const vertex3d& slice_normal() const { return normal_; }
    double xscale() const { return source_.xscale; }
    double yscale() const { return source_.yscale; }
    // The median distance between neighbouring slices (cm); 0 with one slice.
    double slice_spacing() const;
    // Frame `frame`'s value at pixel (x, y), pixel centres at whole numbers;
    // none outside the frame or next to a padded pixel.
    std::optional<double> interp(long frame, double x, double y) const;
    // The Hounsfield value at a point (cm): bilinear in the two slices around
    // it, linear between them. None outside the stack.
    std::optional<double> sample(const vertex3d& p) const;
    // The lowest Hounsfield value any slice holds (padding aside): what
    // stands for "no data" in a volume written for other programs, so that
    // it looks like the darkest background there. None without values.
    std::optional<double> lowest() const;
    // n samples from a to b, both ends included (n >= 2); valid[i] is 0
    // where there is no value (values[i] is then 0).
    void sample_on_line(const vertex3d& a, const vertex3d& b, int n, double* values, char* valid) const;

private:
    explicit slice_volume_t(source_t s) : source_(std::move(s)) {}
    std::optional<double> stored(const cip_t& frame, long x, long y) const;

    source_t source_;
    std::vector<matrix16d> to_frame_;  // world to frame (cm), per frame
    vertex3d normal_{0, 0, 1};
    std::vector<std::pair<double, long>> by_location_;  // along the normal, frame
};
