// How coarsely to render reslices and surfaces while the user drags a 3D
// view, and the guess at the machine's graphics power that sets the default
// rendering speed.
#pragma once

#include <cstddef>
#include <vector>

#include <wx/string.h>

// The part of one reslice window's settings that costs rendering time.
struct reslice_load_t {
    bool active = false;
    long width = 0, height = 0;      // reslice image size in pixels
    double half_thickness = 0.0;     // slab half thickness (cm); 0 is a single plane
};

inline constexpr int max_render_divisor = 16;

// The divisor for the given reslice windows: the cube root of their pixel
// work (a slab costs one plane per pixel step of its thickness) in units of
// 250,000 pixels, plus 1 when the fast rendering flag is off; always 1..16.
int render_divisor(const std::vector<reslice_load_t>& planes, double xscale, bool first_rendering_flag);

// The graphics power estimate from the first "bogomips" figure in the text:
// 10000 below 1000, 29999 below 1300, else 49999 (also when there is none).
long cpu_power_from_text(const char* text, std::size_t length);
// The same from a file, reading at most its first 8192 bytes.
long guess_cpu_power(const wxString& cpuinfo_path);
// From "/proc/cpuinfo", read once per run.
long guess_cpu_power();
