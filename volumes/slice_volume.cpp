#include "slice_volume.h"

#include <algorithm>
#include <cmath>

#include "common/dynabuf.h"
#include "common/vertex_math.h"
#include "resources/resource_table.h"
#include "volumes/dicom_display.h"

std::optional<slice_volume_t> slice_volume_t::build(source_t source, wxString* why)
{
    if (source.frames.empty() || source.frames.size() != source.poses.size()) {
        *why = "there are no frames with positions to sample";
        return std::nullopt;
    }
    if (!(source.xscale > 0.0) || !(source.yscale > 0.0)) {
        *why = "the pixel sizes are not positive";
        return std::nullopt;
    }
    slice_volume_t v(std::move(source));
    const cip_t& first = v.source_.frames.front();
    for (std::size_t f = 0; f < v.source_.frames.size(); ++f) {
        const cip_t& frame = v.source_.frames[f];
        const counted_array_ptr<float>& pose = v.source_.poses[f];
        if (frame.empty() || frame.width() != first.width() || frame.height() != first.height() || pose.size() < 6) {
            *why = wxString::Format("frame %zu has no position or another size", f);
            return std::nullopt;
        }
        matrix16d m;
        m.forward(pose.get());
        m = m * v.source_.calibration;
        const vertex3d normal = column(m, 2);
        if (f == 0)
            v.normal_ = normal;
        else if (length(normal - v.normal_) > 1e-3) {
            *why = "the frames are not parallel slices";
            return std::nullopt;
        }
        v.by_location_.push_back({dot(column(m, 3), v.normal_), long(f)});
        m.invert();
        v.to_frame_.push_back(m);
    }
    std::stable_sort(v.by_location_.begin(), v.by_location_.end());
    return v;
}

std::optional<slice_volume_t> slice_volume_t::from_session(wxString* why)
{
    source_t s;
    for (long f = 0; f < bufp->frames(); ++f) {
        s.frames.push_back(bufp->imagecp(f));
        s.poses.push_back(bufp->positioncp(f));
    }
    s.calibration.forward(res->RES_XTRANS->value(), res->RES_YTRANS->value(), res->RES_ZTRANS->value(),
                          res->RES_AZIMUTH->value(), res->RES_ELEVATION->value(), res->RES_ROLL->value());
    s.xscale = res->RES_XSCALE->value();
    s.yscale = res->RES_YSCALE->value();
    if (res->RES_BUF_DICOM->value()) {
        s.slope = res->RES_DICOM_HUM->value();
        s.offset = res->RES_DICOM_HUB->value();
        if (dicom_display)
            s.padding = dicom_display->data_set().padding;
    }
    if (!res->RES_POS_REC->value()) {
        *why = "the frames have no positions";
        return std::nullopt;
    }
    return build(std::move(s), why);
}

std::optional<double> slice_volume_t::stored(const cip_t& frame, long x, long y) const
{
    const std::size_t i = std::size_t(y) * std::size_t(frame.width()) + std::size_t(x);
    if (!frame.has_samples())
        return double(frame.pixels()[i]);
    const std::uint16_t v = frame.samples()[i];
    if (source_.padding && v == *source_.padding)
        return std::nullopt;
    return double(v);
}

std::optional<double> slice_volume_t::interp(long f, double x, double y) const
{
    if (f < 0 || f >= frames() || !std::isfinite(x) || !std::isfinite(y))
        return std::nullopt;
    const cip_t& frame = source_.frames[std::size_t(f)];
    if (x < 0.0 || y < 0.0 || x > double(frame.width() - 1) || y > double(frame.height() - 1))
        return std::nullopt;
    const long x0 = std::min(long(x), frame.width() - 1), y0 = std::min(long(y), frame.height() - 1);
    const long x1 = std::min(x0 + 1, frame.width() - 1), y1 = std::min(y0 + 1, frame.height() - 1);
    const double fx = x - double(x0), fy = y - double(y0);
    const std::pair<double, std::optional<double>> corners[] = {{(1 - fx) * (1 - fy), stored(frame, x0, y0)},
                                                                {fx * (1 - fy), stored(frame, x1, y0)},
                                                                {(1 - fx) * fy, stored(frame, x0, y1)},
                                                                {fx * fy, stored(frame, x1, y1)}};
    double sum = 0.0;
    for (const auto& [weight, value] : corners) {
        if (weight == 0.0)
            continue;  // a padded neighbour that does not count spoils nothing
        if (!value)
            return std::nullopt;
        sum += weight * *value;
    }
    return sum;
}

std::optional<double> slice_volume_t::sample(const vertex3d& p) const
{
    const double at = dot(p, normal_);
    if (!std::isfinite(at))
        return std::nullopt;
    auto value_in = [&](long f) -> std::optional<double> {
        const vertex3d local = to_frame_[std::size_t(f)] * p;
        return interp(f, local.x / source_.xscale, local.y / source_.yscale);
    };
    // The first slice at or beyond the point, and the one before it. A point
    // on a slice (within the poses' single precision) takes that slice alone.
    constexpr double on_slice = 1e-5;  // cm
    const auto next = std::lower_bound(by_location_.begin(), by_location_.end(), std::make_pair(at, -1L));
    std::optional<double> value;
    if (next != by_location_.end() && next->first - at < on_slice) {
        value = value_in(next->second);
    } else if (next != by_location_.begin() && at - (next - 1)->first < on_slice) {
        value = value_in((next - 1)->second);
    } else if (next != by_location_.end() && next != by_location_.begin()) {
        const auto before = next - 1;
        const double t = (at - before->first) / (next->first - before->first);
        const auto a = value_in(before->second), b = value_in(next->second);
        if (a && b)
            value = (1 - t) * *a + t * *b;
    }
    if (!value)
        return std::nullopt;
    return source_.slope * *value + source_.offset;
}

void slice_volume_t::sample_on_line(const vertex3d& a, const vertex3d& b, int n, double* values, char* valid) const
{
    for (int i = 0; i < n; ++i) {
        const double t = n > 1 ? double(i) / double(n - 1) : 0.0;
        const auto v = sample(a + t * (b - a));
        values[i] = v.value_or(0.0);
        valid[i] = v ? 1 : 0;
    }
}

std::optional<double> slice_volume_t::lowest() const
{
    // Stored extremes first: a negative slope turns the highest into the lowest.
    std::optional<double> low, high;
    for (const cip_t& frame : source_.frames)
        for (std::size_t i = 0; i < frame.pixel_count(); ++i) {
            if (frame.has_samples() && source_.padding && frame.samples()[i] == *source_.padding)
                continue;
            const double v = frame.has_samples() ? double(frame.samples()[i]) : double(frame.pixels()[i]);
            low = low ? std::min(*low, v) : v;
            high = high ? std::max(*high, v) : v;
        }
    if (!low)
        return std::nullopt;
    return std::min(source_.slope * *low, source_.slope * *high) + source_.offset;
}

double slice_volume_t::slice_spacing() const
{
    std::vector<double> gaps;
    for (std::size_t i = 1; i < by_location_.size(); ++i)
        gaps.push_back(by_location_[i].first - by_location_[i - 1].first);
    if (gaps.empty())
        return 0.0;
    std::nth_element(gaps.begin(), gaps.begin() + std::ptrdiff_t(gaps.size() / 2), gaps.end());
    return gaps[gaps.size() / 2];
}
