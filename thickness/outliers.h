// Outlier analysis of thickness results over a surface: a fit that put the
// cortex far from where its neighbours put theirs (a profile caught by a
// neighbouring bone, a vessel or noise) is dropped, to be filled in from
// them when the results are smoothed.
#pragma once

#include "surfaces/surface_mesh.h"
#include "thickness/thickness_results.h"

// Compares each point with the median of its mesh neighbours whose normals
// lie within `angle_degrees` of its own (RES_THICKNESS_OUTLIER_REJECT; a
// neighbour round a sharp corner measures another cortex): a point whose
// outer edge or thickness differs from theirs by more than
// `distance_hundredths` / 100 mm (RES_THICKNESS_DISTANCE_REJECT) loses
// every result. Points with fewer than two such neighbours with results are
// kept. Gives the number of points dropped; the decisions are all made on
// the results as they were, so the order of the points does not matter.
std::size_t find_outliers(const surface_mesh_t& mesh, long angle_degrees, long distance_hundredths,
                          thickness_results_t* results);
