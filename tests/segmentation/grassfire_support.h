// Images, colour maps and measurements shared by the threshold
// segmentation tests. Everything here is computed independently of the
// segmentation code: areas by the shoelace formula, insideness by the
// even-odd rule, regions by plain flood fills.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "display/cmap_fill.h"
#include "segmentation/grassfire.h"

namespace grass_test {

struct image_t {
    long w = 0, h = 0;
    std::vector<std::uint8_t> px;

    image_t(long width, long height, std::uint8_t fill = 0)
        : w(width), h(height), px(static_cast<std::size_t>(width * height), fill)
    {
    }
    std::uint8_t& at(long x, long y) { return px[static_cast<std::size_t>(y * w + x)]; }
    std::uint8_t at(long x, long y) const { return px[static_cast<std::size_t>(y * w + x)]; }
    image_view view() const { return {px.data(), w, h}; }
};

// The classes the threshold colour map gives for a grey window.
inline grassfire_classes classes_for(long lo, long hi, long anti = 0)
{
    float_cmap_t map;
    fill_grey_binary_cmap(map, lo, hi, anti);
    return classes_from_colour_map(map);
}

inline grassfire_settings settings_for(long lo, long hi, long hole_type = 2, bool connected = false)
{
    grassfire_settings s;
    s.window.lo = lo;
    s.window.hi = hi;
    s.hole_type = hole_type;
    s.connected = connected;
    return s;
}

inline double shoelace(const contour& c)
{
    double a = 0.0;
    const std::size_t n = c.points.size();
    for (std::size_t i = 0; i < n; ++i) {
        const vertex2d& p = c.points[i];
        const vertex2d& q = c.points[(i + 1) % n];
        a += p.x * q.y - q.x * p.y;
    }
    return a / 2.0;
}

// Sum of signed areas: an outer boundary and a hole are traced in opposite
// senses, so this is the area enclosed with holes taken out.
inline double enclosed_area(const contour_set& s)
{
    double a = 0.0;
    for (const contour& c : s.contours)
        a += shoelace(c);
    return std::fabs(a);
}

// Even-odd over every contour of the set.
inline bool inside(const contour_set& s, double x, double y)
{
    bool in = false;
    for (const contour& c : s.contours) {
        const std::size_t n = c.points.size();
        for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
            const vertex2d& a = c.points[i];
            const vertex2d& b = c.points[j];
            if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x)
                in = !in;
        }
    }
    return in;
}

// Grey of a shape with a linear edge: `signed_depth` is how far inside
// (positive) or outside the edge a point is; the threshold crossing 127.5
// lies exactly on the edge. slope 0 gives a binary 255/0 image.
inline std::uint8_t edge_grey(double signed_depth, double slope)
{
    if (slope <= 0.0)
        return signed_depth >= 0.0 ? 255 : 0;
    const double g = 127.5 + signed_depth * slope;
    return static_cast<std::uint8_t>(std::lround(std::clamp(g, 0.0, 255.0)));
}

// A disc or ring centred in its image: `depth(d)` of the distance from the centre.
inline image_t radial_image(long side, const std::function<double(double)>& depth, double slope)
{
    image_t im(side, side);
    const double c = (side - 1) / 2.0;
    for (long y = 0; y < side; ++y)
        for (long x = 0; x < side; ++x)
            im.at(x, y) = edge_grey(depth(std::hypot(x - c, y - c)), slope);
    return im;
}

// Labels of the components of the pixels for which `in` holds; 0 for the rest.
inline std::vector<int> label_components(long w, long h, const std::function<bool(long, long)>& in, bool eight,
                                         int* count)
{
    std::vector<int> label(static_cast<std::size_t>(w * h), 0);
    int n = 0;
    std::vector<std::pair<long, long>> stack;
    for (long y0 = 0; y0 < h; ++y0)
        for (long x0 = 0; x0 < w; ++x0) {
            if (!in(x0, y0) || label[static_cast<std::size_t>(y0 * w + x0)])
                continue;
            ++n;
            label[static_cast<std::size_t>(y0 * w + x0)] = n;
            stack.push_back({x0, y0});
            while (!stack.empty()) {
                const auto [x, y] = stack.back();
                stack.pop_back();
                for (long dy = -1; dy <= 1; ++dy)
                    for (long dx = -1; dx <= 1; ++dx) {
                        if ((!dx && !dy) || (!eight && dx && dy))
                            continue;
                        const long nx = x + dx, ny = y + dy;
                        if (nx < 0 || ny < 0 || nx >= w || ny >= h || !in(nx, ny))
                            continue;
                        int& l = label[static_cast<std::size_t>(ny * w + nx)];
                        if (!l) {
                            l = n;
                            stack.push_back({nx, ny});
                        }
                    }
            }
        }
    *count = n;
    return label;
}

}  // namespace grass_test
