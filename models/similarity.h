// Small dense geometry for shape-model registration: rotations as 3x3
// row-major arrays, rotation vectors, the closed-form similarity between two
// point sets (Horn's quaternion method), and the test that points span a plane.
#pragma once

#include <array>
#include <span>

#include "common/matrix16d.h"
#include "common/vertex.h"

using rotation_t = std::array<double, 9>;  // row-major

rotation_t identity_rotation();
rotation_t multiply(const rotation_t& a, const rotation_t& b);  // a·b
vertex3d rotate(const rotation_t& r, const vertex3d& v);
// The rotation by |w| radians about w (Rodrigues).
rotation_t rotation_from_vector(const vertex3d& w);
// The rotation part of a rigid matrix, and a rigid matrix from a rotation and a translation.
rotation_t rotation_of(const matrix16d& m);
matrix16d rigid_matrix(const rotation_t& r, const vertex3d& t);
// The angle of a rotation in degrees.
double rotation_angle_degrees(const rotation_t& r);

// Eigenvalues (descending) and unit eigenvectors (columns of `vectors`,
// row-major n x n) of a symmetric n x n matrix, n at most 4, by Jacobi sweeps.
void symmetric_eigen(int n, const double* matrix, double* values, double* vectors);

// The similarity b ≈ s R a + t that best fits the pairs in the least-squares
// sense. False when the points do not span a plane or the fit is not finite.
bool best_similarity(std::span<const vertex3d> a, std::span<const vertex3d> b, rotation_t* r, double* s, vertex3d* t);
// Whether the points span a plane: the smallest two of their spreads, relative
// to the largest, are not vanishingly small. Three collinear landmarks fix no rotation.
bool spans_plane(std::span<const vertex3d> points);
