// How deeply each point of an outline lies in a concavity: a chord from the
// point that cuts outside the outline encloses a pocket; the pocket's area
// over the chord's squared length says how pronounced it is.
#include <cmath>

#include "outline_model.h"
#include "planar_geometry.h"

namespace {

// Replaces a value that lies strictly between its neighbours on a rising run
// by its predecessor, walking in the given direction (with wrap-around).
void flatten_ramps(std::vector<double>& v, bool forward)
{
    const std::size_t n = v.size();
    for (std::size_t step = 0; step < n; ++step) {
        const std::size_t k = forward ? step : n - 1 - step;
        const double before = v[forward ? (k + n - 1) % n : (k + 1) % n];
        const double after = v[forward ? (k + 1) % n : (k + n - 1) % n];
        if (before < v[k] && v[k] < after)
            v[k] = before;
    }
}

}  // namespace

void contour::update_concave()
{
    const std::size_t n = points.size();
    concavity.assign(n, 0.0);
    const double whole = centroid_and_area(nullptr);
    if (n < 3 || whole == 0.0 || !std::isfinite(whole))
        return;
    for (std::size_t i = 0; i < n; ++i) {
        const vertex2d& pi = points[i];
        double part = 0.0;  // signed area of points i..j closed by the chord j -> i
        double largest = 0.0;
        std::size_t largest_at = n;
        for (std::size_t step = 1; step < n; ++step) {
            const std::size_t j = (i + step) % n;
            const std::size_t before = (i + step - 1) % n;
            part += cross(points[before] - pi, points[j] - pi) / 2.0;
            const bool outside = whole > 0.0 ? part > whole : part < whole;
            const double chord = distance_squared(points[j], pi);
            if (!outside || chord == 0.0)
                continue;  // a chord of no length encloses nothing measurable
            const double measure = std::fabs(part - whole) / chord;
            if (measure > largest && std::isfinite(measure)) {
                largest = measure;
                largest_at = j;
            }
        }
        if (largest_at == n)
            continue;
        // The pocket runs from past the chord's far end round to i.
        for (std::size_t k = (largest_at + 1) % n;; k = (k + 1) % n) {
            concavity[k] = std::max(concavity[k], largest);
            if (k == i)
                break;
        }
    }
    flatten_ramps(concavity, true);
    flatten_ramps(concavity, false);
}
