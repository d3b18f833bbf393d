// The demo as one object: phantom, probe, sweep and speckle seed, plus its
// ground-truth text file.
//
// Ground-truth file: UTF-8 text, one "key value..." line each, fields split by
// spaces, numbers in the "C" notation; lines starting with '#' and blank lines
// are skipped. Lengths in cm, angles in degrees, levels in grey values.
//   frames N                       number of frames of the sweep
//   image WIDTH HEIGHT             pixels
//   scale SX SY                    cm per pixel
//   calibration X Y Z AZ EL ROLL   image plane to sensor
//   seed S                         speckle seed (unsigned 64-bit)
//   background LEVEL ATTENUATION   plain tissue; amplitude loss per cm of depth
//   skin PX PY PZ NX NY NZ THICKNESS LEVEL
//   ellipsoid CX CY CZ A B C AZ EL ROLL LEVEL VOLUME    any number of these
//   tube X0 Y0 Z0 X1 Y1 Z1 RADIUS LEVEL VOLUME          any number of these
// VOLUME is there for people and other programs; reading recomputes it. The
// poses are not listed: they follow from the frame count and the probe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/cip.h"
#include "demo/phantom.h"
#include "demo/sweep.h"

struct demo_scene {
    phantom body;
    probe_setup probe;
    std::vector<sweep_pose> trajectory;
    std::uint64_t seed = 0;
};

demo_scene make_demo_scene(int frames = 300, long width = 640, long height = 480);

// Frame `frame` of the sweep; empty past the end.
cip_t render_bscan(const demo_scene& scene, std::size_t frame);
cip_t render_labels(const demo_scene& scene, std::size_t frame);

bool write_ground_truth(const std::string& path, const demo_scene& scene);
// Leaves *out alone unless the whole file is valid.
bool read_ground_truth(const std::string& path, demo_scene* out);
