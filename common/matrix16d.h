// Rigid transforms: 4x4 doubles, column-major, translation in elements 12..14.
// A pose (x, y, z, azimuth, elevation, roll) stands for T(x,y,z)·Rz(az)·Ry(el)·Rx(roll),
// angles in degrees; it maps sensor coordinates into tracker coordinates.
#pragma once

#include "vertex.h"

class matrix16d {
public:
    double m[16];

    matrix16d() { identity(); }
    explicit matrix16d(const double* values);

    void zero();
    void identity();

    void forward(double x, double y, double z);
    void forward(double x, double y, double z, double az, double el, double roll);
    void forward(const float* pose);
    void inverse(double x, double y, double z);
    void inverse(double x, double y, double z, double az, double el, double roll);
    void inverse(const float* pose);
    void invert();  // rigid matrices only

    // Splits a rigid matrix back into the six pose values; angles in degrees.
    void decompose(double* x, double* y, double* z, double* az, double* el, double* roll) const;

    double& operator[](int i) { return m[i]; }
    double operator[](int i) const { return m[i]; }
    matrix16d operator*(const matrix16d& b) const;  // A·B applies B first
};

vertex3d operator*(const matrix16d& a, const vertex3d& v);  // A·(x, y, z, 1)
