// Filling the holes a freehand sweep leaves in a voxel volume, one slice at a
// time: an empty voxel (0) takes the value of the nearest voxel with data when
// that lies within the radius (the distance between voxel centres, in cm, with
// the in-plane voxel size and the slice spacing each counted as they are).
// Only voxels the reslice filled are sources, so a filled voxel never feeds
// another and nothing spreads beyond the radius from the swept region. Ties
// go to the nearer slice, then the earlier one, then the earlier row and
// column: the result depends on the data alone.
//
// Slices stream through: only the 2r + 1 slices within the radius along the
// normal are held (their in-plane distance maps, five bytes a voxel), never
// the whole volume.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class voxel_hole_filler_t {
public:
    // Receives each finished slice once, in order; false stops the export.
    using sink_fn = std::function<bool(long index, const std::vector<std::uint8_t>& slice)>;

    // Slices of width x height voxels `voxel` cm square, `spacing` cm apart,
    // filled within `radius` cm. ok() false (logged) for sizes that are not
    // positive and finite, or a window of slices that would not fit in memory.
    voxel_hole_filler_t(long width, long height, double voxel, double spacing, double radius, sink_fn sink);
    bool ok() const { return ok_; }

    // The next slice (width x height); passes on every slice it completes.
    bool add(const std::vector<std::uint8_t>& slice);
    // Passes on the slices still held, with nothing beyond the last.
    bool finish();

private:
    struct plane_map_t {
        std::vector<std::uint32_t> distance2;  // in-plane squared distance (voxels) to the nearest data, or none
        std::vector<std::uint8_t> value;       // that voxel's value
    };
    void map_plane(const std::vector<std::uint8_t>& slice, plane_map_t& map);
    bool emit(long index);
    plane_map_t& slot(long index) { return ring_[static_cast<std::size_t>(index % static_cast<long>(ring_.size()))]; }

    long width_ = 0, height_ = 0;
    double voxel2_ = 0.0, spacing2_ = 0.0, radius2_ = 0.0;  // cm squared
    long reach_ = 0;                                        // slices within the radius each way
    std::uint32_t plane_cap_ = 0;                           // in-plane squared distances beyond this never count
    sink_fn sink_;
    std::vector<plane_map_t> ring_;
    long received_ = 0, sent_ = 0;
    bool ok_ = false;
    // Scratch for one slice.
    std::vector<std::uint8_t> out_;
    std::vector<double> column_cost_;
    std::vector<std::uint8_t> column_value_;
    std::vector<long> hull_;
    std::vector<double> bounds_;
};
