// The swept-probe motor's motion model: where the sweep ends lie, what speed
// a sweep of so many frames at a frame rate needs, where a sweep is at a
// moment, and the pose of a frame from the motor position. Pure functions,
// so that tests compare them with the simulator's integrated motion.
//
// Positions are counts of 0.0046 degrees, 0 on the probe axis. A speed v
// moves the motor 8·v counts a second; above the start speed (800) the motor
// ramps at 120000 speed units a second, below it starts and stops at once.
#pragma once

#include <cstdint>

#include "common/matrix16d.h"

namespace flap {

constexpr double degrees_per_count = 0.0046;
constexpr double max_end = 3200.0;         // counts (14.72 degrees)
constexpr double start_speed = 800.0;      // slowest speed with a ramp; manual steps and centring
constexpr double max_speed = 5000.0;       // whole-way moves; the cap of a sweep
constexpr double acceleration = 120000.0;  // speed units per second
constexpr double counts_per_speed = 8.0;   // counts a second per speed unit
constexpr double ticks_per_second = 1e7;   // master clock ticks

// R: half the sweep range in counts, limited to 3200; 0 for a range of 0 or less.
double end_counts(long range_degrees);

// A sweep of `steps` frames at `rate` frames a second over ±R.
struct sweep_plan_t {
    bool possible = false;  // false: not even with the ramp, or the inputs were unusable
    double speed = 0.0;     // v, speed units
    bool capped = false;    // asked for more than max_speed; speed is max_speed
    double wanted = 0.0;    // the speed asked for before the cap
};
// steps ≥ 2, a finite rate > 0 and R > 0 are required (else impossible).
sweep_plan_t plan_sweep(double end, long steps, double rate);

// Where a move from p0 towards −p0 at speed v stands e seconds after it
// started. e ≤ 0 gives p0; after the move, −p0. R = |p0|. A speed too high
// to reach over the distance is limited to the peak of a triangular profile,
// as the motor itself would be.
double model_position(double elapsed, double p0, double speed);

// The element geometry of the probe: count scan lines, pitch degrees apart.
struct element_geometry_t {
    long count = 0;      // 0: one line on the axis (no element tilt)
    double pitch = 0.0;  // degrees between neighbouring lines
};

// Where the image plane of a swept frame lies. Image coordinates are those of
// the calibration chain: x = u·xscale, y = v·yscale (cm), z out of the plane.
// The motor axis runs parallel to x, axis_depth cm above the top of the stored
// image (the rows cropped off above it, RES_VID_YPOS·RES_YSCALE, plus 0.78 cm
// from the transducer face to the axis). A frame at motor position p is the
// unswept image turned by φ = p·0.0046° about that axis. Element e of the probe
// (0 to count−1) looks along a line tilted β = (e − (count − 1)/2)·pitch in the
// image plane, and the motor's turn is taken about the axis as that line sees
// it, the x axis turned by β in the plane:
//     W(p, e) = T(0, −d, 0) · Rz(β) · Rx(φ) · Rz(−β) · T(0, d, 0)
// The swept pose is then Mpose' = Mpose · Mcal · W · Mcal⁻¹, so that the chain
// Mpose' · Mcal = Mpose · Mcal · W places the swept image. At p = 0, W is the
// identity and the pose is the unswept probe's for every element; W(−p) is the
// inverse of W(p) (the sweep is symmetric) and W is smooth in p.
struct sweep_geometry_t {
    double axis_depth = 0.78;  // cm
    element_geometry_t elements;
};
// The transform W above; element −1 (or a probe without elements) has no tilt.
// False for a non-finite position or an element beyond the probe's.
bool sweep_transform(double position, long element, const sweep_geometry_t& g, matrix16d* w);
// pose: the unswept probe's six values on entry, the swept ones on return.
// False (pose untouched) when the position is not finite, beyond ±3200 counts
// (the 10000 and 20000 marks of frames outside a sweep among them) or the
// element is not one of the probe's.
bool swept_pose(double position, long element, const sweep_geometry_t& g, const matrix16d& mcal, float* pose);

}  // namespace flap
