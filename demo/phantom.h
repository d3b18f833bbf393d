// Ground truth for the synthetic demo sweep: a few simple shapes whose volumes
// and plane sections are known exactly, so anything rebuilt from the rendered
// frames can be scored against true answers. World coordinates in cm.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/matrix16d.h"
#include "common/vertex.h"

struct ellipsoid_shape {
    vertex3d centre;
    double semi[3] = {1.0, 1.0, 1.0};       // semi-axes along the shape's own x, y, z
    double az = 0.0, el = 0.0, roll = 0.0;  // orientation in degrees, read like a pose
    double level = 110.0;                   // mean echo grey before depth attenuation

    matrix16d frame() const;  // shape coordinates to world
};

// A straight vessel with flat ends.
struct tube_shape {
    vertex3d start, end;  // axis end points
    double radius = 0.3;
    double level = 6.0;
};

// The bright band just under the probe face.
struct skin_layer {
    vertex3d point;                  // on the mid-plane of the band
    vertex3d normal{0.0, 0.0, 1.0};  // need not be unit length
    double thickness = 0.06;
    double level = 200.0;
};

struct phantom {
    skin_layer skin;
    double background = 50.0;  // echo grey of plain tissue
    double attenuation = 0.1;  // amplitude loss per cm below the probe face: exp(-a * depth)
    std::vector<ellipsoid_shape> ellipsoids;
    std::vector<tube_shape> tubes;  // drawn over ellipsoids where they overlap
};

// Label values of the rendered label image: 0 plain tissue, 1 skin, then one
// per ellipsoid, then one per tube. Fewer shapes than this fit a byte.
inline constexpr std::size_t max_shapes = 250;
inline constexpr std::uint8_t label_background = 0;
inline constexpr std::uint8_t label_skin = 1;
std::uint8_t ellipsoid_label(std::size_t index);
std::uint8_t tube_label(const phantom& p, std::size_t index);

bool inside(const ellipsoid_shape& e, const vertex3d& p);
bool inside(const tube_shape& t, const vertex3d& p);
bool inside(const skin_layer& s, const vertex3d& p);

double volume(const ellipsoid_shape& e);
double volume(const tube_shape& t);

// An ellipse in the coordinates (x, y) of a plane; a is the longer semi-axis,
// at `angle` radians from the plane's x axis.
struct ellipse2d {
    bool exists = false;
    double cx = 0.0, cy = 0.0, a = 0.0, b = 0.0, angle = 0.0;

    bool contains(double x, double y) const;
    double area() const;
};

// Where an ellipsoid cuts the plane z = 0 of `plane` (plane coordinates to world).
ellipse2d section(const ellipsoid_shape& e, const matrix16d& plane);
// Where the tube's side, continued without end, cuts that plane; the flat
// ends are not applied.
ellipse2d section(const tube_shape& t, const matrix16d& plane);

// An ellipsoid of about 2.0 x 1.2 x 1.0 cm and a vessel of radius 0.3 cm under
// a skin line, all well inside the volume the demo sweep covers.
phantom demo_phantom();
