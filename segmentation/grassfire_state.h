// The working state of one grassfire run: a byte per pixel of the frames
// being segmented (one frame for a click, a stack for the 3D variant), with
// the pixel's class from the colour map and its burn state.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "segmentation/grassfire.h"

// Coordinates in 32 bits: frames may be up to 65535 pixels wide and stacks
// longer still, which 16-bit fronts would wrap.
struct grassfire_voxel {
    std::int32_t x = 0, y = 0, z = 0;
    bool operator==(const grassfire_voxel&) const = default;
};

// Inclusive extents; empty until something is added.
struct grassfire_box {
    long x0 = 0, x1 = -1, y0 = 0, y1 = -1, z0 = 0, z1 = -1;

    bool empty() const { return x1 < x0; }
    void add(long x, long y, long z)
    {
        if (empty()) {
            x0 = x1 = x;
            y0 = y1 = y;
            z0 = z1 = z;
            return;
        }
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
        z0 = std::min(z0, z);
        z1 = std::max(z1, z);
    }
    void add(const grassfire_box& other);
    // The same box on one frame.
    grassfire_box on_frame(long z) const;
};

class grassfire_state {
public:
    // Burn states, in the low five bits.
    static constexpr std::uint8_t untouched = 0, ignited = 1, burnt = 2, outside = 8, queued = 16;
    static constexpr std::uint8_t burn_mask = 0x1F;
    // Class bits, and a scratch mark for the passes that need one.
    static constexpr std::uint8_t selected = grassfire_classes::selected;
    static constexpr std::uint8_t barrier = grassfire_classes::barrier;
    static constexpr std::uint8_t mark = 0x80;

    // Bytes a state of this size needs; nothing when that does not fit 64 bits.
    static std::optional<std::uint64_t> bytes_needed(long width, long height, long frames);
    // Frames that are empty or of another size than width x height count as
    // blank. Nothing when the size is not usable or memory is short.
    static std::unique_ptr<grassfire_state> create(const std::vector<image_view>& frames, long width, long height,
                                                   long jump, const grassfire_settings& settings,
                                                   const grassfire_classes& classes);

    long width() const { return width_; }
    long height() const { return height_; }
    long frames() const { return frames_; }
    std::size_t plane_size() const { return plane_; }
    std::uint8_t* plane(long z) { return cells_.get() + static_cast<std::size_t>(z) * plane_; }
    const std::uint8_t* plane(long z) const { return cells_.get() + static_cast<std::size_t>(z) * plane_; }
    std::uint8_t* cells() { return cells_.get(); }
    const std::uint8_t* cells() const { return cells_.get(); }
    std::size_t index(long x, long y, long z) const
    {
        return (static_cast<std::size_t>(z) * static_cast<std::size_t>(height_) + static_cast<std::size_t>(y)) *
                   static_cast<std::size_t>(width_) +
               static_cast<std::size_t>(x);
    }
    std::uint8_t burn(long x, long y, long z) const { return cells_[index(x, y, z)] & burn_mask; }
    bool inside(long x, long y, long z) const
    {
        return x >= 0 && y >= 0 && z >= 0 && x < width_ && y < height_ && z < frames_;
    }
    // The codes of frame z (zeros for a blank frame).
    const std::uint8_t* grey(long z) const { return grey_[static_cast<std::size_t>(z)]; }
    int grey_at(long x, long y, long z) const
    {
        return grey(z)[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)];
    }

    const grassfire_settings& settings() const { return settings_; }
    // The jump distance, held to what can reach across the frame.
    long jump() const { return jump_; }
    // Distinct diagonal sample offsets within the jump distance: sample k
    // lies k * 0.70710678 along each axis, rounded to a pixel.
    const std::vector<int>& diagonal_offsets() const { return diagonal_; }

    // Frame z's class bits from its codes, every selected pixel burnt at once
    // when `all_burnt`; the extents of its selected pixels.
    grassfire_box threshold(long z, bool all_burnt);
    // The first voxel at or after `from` (raster order) that is selected and
    // untouched; false at the end.
    bool next_unburnt_selected(std::size_t& from) const;
    grassfire_voxel voxel_at(std::size_t i) const;
    // The extents of the burnt pixels of frame z, searched within `within`.
    grassfire_box burnt_box(long z, const grassfire_box& within) const;

    // Extents of the burnt region, kept up by whatever burns.
    grassfire_box region;

    struct key_t {  // only create() makes states
    private:
        friend class grassfire_state;
        key_t() = default;
    };
    grassfire_state(key_t, long width, long height, long frames, long jump, const grassfire_settings& settings,
                    const grassfire_classes& classes);

private:
    long width_, height_, frames_;
    std::size_t plane_;
    long jump_;
    grassfire_settings settings_;
    grassfire_classes classes_;
    std::vector<int> diagonal_;
    std::unique_ptr<std::uint8_t[]> cells_;
    std::vector<const std::uint8_t*> grey_;
    std::unique_ptr<std::uint8_t[]> blank_;  // the codes of blank frames
};

// Burns the region: from the seed alone when connected, else from every
// selected pixel in raster order. `keep_going` is asked now and then; false
// stops the burning (and the result is false).
bool burn_region(grassfire_state& state, const std::optional<grassfire_voxel>& seed, bool connected,
                 const std::function<bool()>& keep_going);

// Which sides an outline takes at a corner where two burnt pixels touch
// only diagonally: joined when burning used 8 neighbours or the result is
// the holes (which are 4-connected), separate otherwise.
bool joins_diagonals(const grassfire_settings& settings);
// Whether the result is the holes of the region.
inline bool holes_only(const grassfire_settings& s)
{
    return s.hole_type != 0 && s.hole_type != 2;
}

// Hole treatment of one frame of the stack (what fill_in_holes3 does to each).
void fill_in_holes_frame(grassfire_state& state, long z);

// The 3D topological re-labelling: voxels in one-voxel cracks of the region
// join it. Counts for the log lines.
struct topology_counts {
    std::uint64_t concave = 0, just_outside = 0, object = 0;
};
topology_counts relabel_cracks(grassfire_state& state);
