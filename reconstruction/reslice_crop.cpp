#include "reslice_crop.h"

#include <algorithm>
#include <cmath>

void crop_outside(std::vector<std::uint8_t>& values, long width, long height, const reslice_sections& sections)
{
    if (width < 1 || height < 1 || values.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return;
    // Each row's crossings with every edge, half-open in y so a vertex on the
    // row is counted once; pixels from one crossing up to (not including) the
    // next are inside, so sections that share an edge share no pixel.
    std::vector<std::vector<double>> crossings(static_cast<std::size_t>(height));
    for (const auto& polygon : sections) {
        const std::size_t n = polygon.size();
        for (std::size_t i = 0; i < n; ++i) {
            const vertex2d& p = polygon[i];
            const vertex2d& q = polygon[(i + 1) % n];
            if (!(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(q.x) && std::isfinite(q.y)))
                continue;
            const double lo = std::min(p.y, q.y), hi = std::max(p.y, q.y);
            const double first = std::max(0.0, std::ceil(lo));
            const double last = std::min(static_cast<double>(height - 1), std::ceil(hi) - 1.0);
            for (double y = first; y <= last; y += 1.0) {
                const double t = (y - p.y) / (q.y - p.y);
                crossings[static_cast<std::size_t>(y)].push_back(p.x + t * (q.x - p.x));
            }
        }
    }
    for (long y = 0; y < height; ++y) {
        std::vector<double>& xs = crossings[static_cast<std::size_t>(y)];
        std::sort(xs.begin(), xs.end());
        std::uint8_t* row = values.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        long x = 0;
        for (std::size_t k = 0; k + 1 < xs.size(); k += 2) {
            const long enter = static_cast<long>(std::clamp(std::ceil(xs[k]), 0.0, static_cast<double>(width)));
            const long leave = static_cast<long>(std::clamp(std::ceil(xs[k + 1]), 0.0, static_cast<double>(width)));
            for (; x < enter; ++x)
                row[x] = 0;
            x = std::max(x, leave);
        }
        for (; x < width; ++x)
            row[x] = 0;
    }
}
