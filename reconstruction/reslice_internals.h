// Builds the image of one reslice window straight from the placed frames,
// without a voxel volume: each frame is a thin slab, each reslice pixel takes
// the nearest slab's value (or blends the nearest in front and behind), and a
// thick reslice compounds several parallel planes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "reslice_frames.h"
#include "reslice_geometry.h"

// One pixel of the rotating-slab display: what the 3D view needs to draw the
// slab as points without a colour map or the plane of its own. Alpha is 0
// where the reslice has no data, so the background stays see-through.
struct rot_slab_texel {
    std::uint8_t rgba[4];
    float position[4];  // world x, y, z (cm) where the pixel was sampled, and w = 1
};
static_assert(sizeof(rot_slab_texel) == 20, "the rotating-slab buffer holds 20 bytes a pixel");

// A point picked in a reslice, moved onto the frame it was nearest.
struct landmark_snap {
    bool snapped = false;
    std::size_t frame = 0;  // index in the source
    long number = -1;       // the frame's number in the recording, when known
    vertex3d world;         // on the frame's plane
};

// Where the frames lie in a plane, in its reslice pixels.
struct reslice_extent {
    bool found = false;
    double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
    double z0 = 0.0, z1 = 0.0;  // cm along the normal, from the plane
};

class reslice_internals {
public:
    explicit reslice_internals(int window = 0);

    int window() const { return window_; }

    // Stores the settings (sizes clamped), reallocates the buffers when the
    // size or the linear flag changed, and marks the image out of date.
    void set_settings(const reslice_settings& settings);
    const reslice_settings& settings() const { return settings_; }
    // The surface to crop to (its RES_SURFACE slot), negative for none.
    void set_reslice_surface(int surface);
    void set_pixel_size(double s);  // cm per reslice pixel
    void set_slab_sampling(int factor);
    // Builds every step-th pixel of every step-th row (1 to 64); the skipped
    // pixels repeat the built one above and left of them, so a coarse preview
    // still fills the image.
    void set_pixel_step(int step);
    int pixel_step() const { return pixel_step_; }

    // Fills the image from the frames; false when disabled, already running,
    // or the buffers could not be had.
    bool build_reslice(const reslice_source& source);

    const reslice_plane& plane() const { return plane_; }
    vertex3d reslice_to_world(double x, double y, double z) const { return plane_.reslice_to_world(x, y, z); }
    vertex3d world_to_reslice(const vertex3d& in) const { return plane_.world_to_reslice(in); }

    long width() const { return plane_.width(); }
    long height() const { return plane_.height(); }
    // Row-major, 0 means no data.
    const std::vector<std::uint8_t>& image() const { return frame_buffer_; }
    std::uint8_t pixel(long x, long y) const { return frame_buffer_[static_cast<std::size_t>(y * width() + x)]; }
    bool up_to_date() const { return up_to_date_; }

    // The rotating-slab buffer (one rot_slab_texel a pixel) exists only while
    // the slab is on; each build fills it from the finished image, its colours
    // through the shared colour map when `colour_map` (and one is installed),
    // else grey. False, with the slab left off, when it cannot be allocated.
    bool set_rot_slab(bool on, bool colour_map = true);
    bool rotating_slab() const { return rot_slab_on_; }
    bool holds_rotating_slab_buffer() const { return !rot_slab_.empty(); }
    const std::vector<rot_slab_texel>& rotating_slab_buffer() const { return rot_slab_; }

    // Moves `point` (reslice pixels) onto the nearest frame: among the frames
    // whose slab holds the point (and, when partitioning, whose sweep owns it)
    // the one whose plane is nearest; the 3D point is projected square onto
    // that plane and `point` becomes the projection's reslice coordinates (the
    // remaining offset along the normal is in the result's world position).
    // Nothing is moved, and snapped is false, when no slab holds the point.
    landmark_snap snap_landmark(const reslice_source& source, vertex2d& point) const;

    // The outline of one frame's slab in the plane, in reslice pixels; empty
    // when it misses the plane or there is no such frame.
    std::vector<vertex2d> bscan_intersection(const reslice_source& source, std::size_t frame) const;

    // The frames' outline extent in `plane` (and across it), corners only;
    // with sweep >= 0 only that sweep's frames count.
    static reslice_extent find_reslice_extent(const reslice_source& source, const reslice_plane& plane,
                                              long sweep = -1);
    // Orients the plane along the mean frame and sizes it to hold every frame,
    // then builds. False (settings untouched) when no frame is usable.
    bool set_reslice_for_min_voxels(const reslice_source& source);

private:
    bool allocate();
    bool allocate_rot_slab();
    void fill_rot_slab();
    void repeat_skipped_pixels(std::vector<std::uint8_t>& values) const;
    void blend_front_and_back(bool doppler, std::vector<std::uint8_t>& values);
    void reslice_plane_into(const reslice_source& source, double offset, std::vector<std::uint8_t>& values);
    void compound_into_frame(bool doppler);

    int window_ = 0;
    reslice_settings settings_;
    reslice_plane plane_;
    double pixel_size_ = 0.01;
    int slab_sampling_ = 1;
    int pixel_step_ = 1;
    bool up_to_date_ = false;
    bool building_ = false;
    bool rot_slab_on_ = false;
    bool rot_slab_colour_map_ = true;
    bool clip_overflow_ = false;  // a partition clip gave up during this build

    std::vector<std::uint8_t> frame_buffer_;
    std::vector<std::uint8_t> temp_buffer_;   // one plane of a thick reslice
    std::vector<float> front_depth_;
    std::vector<std::uint8_t> back_value_;    // linear mode only
    std::vector<float> back_depth_;           // linear mode only
    std::vector<std::uint16_t> plane_count_;  // planes with data per pixel, average compounding
    std::vector<rot_slab_texel> rot_slab_;    // only while the rotating slab is on
};
