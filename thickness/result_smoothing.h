// Smoothing a result over a surface: each pass gives every point the mean
// of its own and its neighbours' values, each weighted by 1 / error^2
// (points without a result, or without an error, weigh nothing); its error
// becomes 1 / sqrt(the summed weight). Then points still without a value
// take their neighbours' weighted mean, pass after pass while that reaches
// new points (at most `fill_passes`), with a quarter of their mean weight:
// a filled value is less sure than a measured one.
#pragma once

#include <vector>

#include "surfaces/surface_mesh.h"

// values and errors: one per mesh point, thickness_unknown (1e10) for none.
void smooth_results(const surface_mesh_t& mesh, std::vector<double>* values, std::vector<double>* errors, int passes,
                    int fill_passes);
