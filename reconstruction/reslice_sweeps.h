// Sweep partitioning. Where the sweeps of a recording overlap, a reslice would
// otherwise switch from sweep to sweep pixel by pixel (whichever frame happens
// to be nearest), and any misregistration between sweeps shows as a seam in
// every direction. Instead each sweep owns a region of space, and a frame only
// paints the part of a reslice that lies in its own sweep's region.
#pragma once

#include <cstddef>
#include <vector>

#include "reslice_frames.h"
#include "reslice_geometry.h"

// The largest clipped frame outline kept; a bigger one means absurd partitions.
inline constexpr std::size_t max_clipped_vertices = 98;
// How far (cm) a partition reaches beyond its sweep's frames where no other
// sweep is near: frames paint their slab's thickness beyond their planes, and
// the outer edge of a sweep must not be trimmed.
inline constexpr double sweep_partition_margin = 1.0;

// Groups the frames into sweeps from the first frame of each sweep (frames
// before the first boundary join the first sweep; the boundaries may come in
// any order, repeats count once) and derives the partitions. A frame's number
// in the recording decides, or its place in the source when it has none.
void assign_sweeps(reslice_source* source, std::vector<long> first_frames);

// The sweep boundaries assign_sweeps keeps when the last frame it places is
// numbered `last`: sorted, repeats once, below 0 as 0, past `last` dropped.
// The sweeps are as many as the boundaries, and at least one.
std::vector<long> kept_sweep_firsts(std::vector<long> first_frames, long last);

// One partition per sweep, derived from the frames:
// - all prisms run along one normal, the mean depth axis (image y) of all
//   frames, so the regions are laid out as on the skin the probe moved over;
// - a sweep's footprint is the outline of its frames seen along that normal,
//   bounded by 16 directions (an octagon-like polygon that always holds every
//   frame, never more than 16 vertices however long the sweep);
// - where two footprints overlap along the line joining their centres, both
//   are cut at the middle of the overlap, so the shared ground is split evenly
//   whatever the sizes of the sweeps. Sweeps with the same centre keep their
//   common ground (the nearest frame decides there);
// - the partition is the footprint grown by sweep_partition_margin, then cut.
// A sweep without frames gets an empty polygon.
std::vector<sweep_partition> sweep_partitions(const reslice_source& source, std::size_t count);

// Whether the build clips frames to partitions: partitioning on and at least two sweeps.
bool partitioning_active(const reslice_source& source);

// The cut of a partition's prism by the plane at `offset` along the reslice
// normal, in reslice pixels, limited to a margin around the image: a convex
// polygon, empty when the plane misses the prism or the partition is
// degenerate (under three vertices, no area, a bad normal). The polygon is
// first scaled about the mean of its vertices by `adjustment` percent (held to
// 1..1000): above 100 neighbouring sweeps overlap, below it gaps open.
std::vector<vertex2d> partition_section(const reslice_plane& plane, double offset, const sweep_partition& partition,
                                        long adjustment);

// The cut of every sweep of `source` for the plane at `offset`. Sweeps with
// fewer than two vertices get none and, with single-sweep display, so does
// every sweep but the one shown (its number held to the sweeps there are).
std::vector<std::vector<vertex2d>> partition_sections(const reslice_plane& plane, double offset,
                                                      const reslice_source& source);

// Clips the convex `polygon` to the inside of the convex `clip` (either
// orientation), one edge of `clip` at a time. A clip with no area leaves
// nothing. False, with `polygon` emptied, when the result would hold more than
// max_clipped_vertices.
bool clip_intersection_to_poly(std::vector<vertex2d>& polygon, const std::vector<vertex2d>& clip);

// Whether p lies in the convex polygon (either orientation), edges included
// to within `tolerance` (in the polygon's units).
bool inside_convex(const std::vector<vertex2d>& polygon, const vertex2d& p, double tolerance = 1e-9);
