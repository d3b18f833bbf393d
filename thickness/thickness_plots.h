// The thickness plots as plain series: a point's profile (data, fitted
// function, model steps) and the density estimate's two plots. The GUI's
// plot panel shows them; the tool writes them as PNG or CSV.
#pragma once

#include "display/plot.h"
#include "thickness/density_estimate.h"
#include "thickness/point_fit.h"

// Along the normal from the surface point (mm, outwards positive), in HU.
// Empty of series when the point has no profile.
plot_t profile_plot(const point_fit_detail_t& detail, bool data, bool function, bool steps);

// "Cortical density": apparent peak density against real thickness, with
// the theoretical relationship for the estimated density and blur, the
// presumed density and the boundaries of the measurements used.
plot_t cortical_density_plot(const density_estimate_t& estimate);
// "Density distribution": apparent peak density against the thickness a
// cortex of 1000 HU would need for the same mass.
plot_t density_distribution_plot(const density_estimate_t& estimate);
