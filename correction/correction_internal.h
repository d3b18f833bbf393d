// Helpers shared by the parts of the image correlation.
#pragma once

#include <cstddef>
#include <vector>

// Rows searched either way when the axial profile of a frame is measured:
// consecutive frames of a sweep compress by far less.
inline constexpr int pressure_reach = 6;

// Reference row r of axial scoring faces current row r + shift; reach shifts either way.
void axial_scores(const unsigned char* ref, const unsigned char* cur, long width, long col0, long col1, long row0,
                  long row1, bool masked, double* scores, int reach);

// Linear through (xs, ys), xs increasing, held constant beyond either end.
double interpolate_at(const std::vector<double>& xs, const std::vector<double>& ys, double x);

// values[y] at a fractional row, linear between rows, the row clamped to the list.
double value_at_row(const std::vector<double>& values, double y);

// Sizes a vector, reporting failure instead of throwing (and failing on
// purpose while the test seam is set).
bool try_allocate(std::vector<double>& v, std::size_t n);
