// Threshold segmentation: from a clicked pixel, a region is grown by a
// grassfire (breadth-first burning) over the pixels that the threshold colour
// map shows in full magenta, crossing short gaps, with its holes treated as
// asked, and turned into closed outlines in pixel coordinates. The 3D variant
// burns through a stack of frames. Everything here works on plain data; the
// review view reaches it through grassfire_session.h, and simplifies and
// inserts the outlines itself.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/cip.h"
#include "display/cmap_fill.h"
#include "segmentation/outline_model.h"

class grassfire_state;
struct grassfire_voxel;

// An 8-bit coded image, row-major, not owned.
struct image_view {
    const std::uint8_t* pixels = nullptr;
    long width = 0, height = 0;

    image_view() = default;
    image_view(const std::uint8_t* p, long w, long h) : pixels(p), width(w), height(h) {}
    explicit image_view(const cip_t& image) : pixels(image.pixels()), width(image.width()), height(image.height()) {}
    bool empty() const { return !pixels || width < 1 || height < 1; }
};

// What the colour map makes of each code: selected where the map shows full
// magenta (1, 0, 1), a barrier where it shows half magenta (0.5, 0, 0.5).
struct grassfire_classes {
    static constexpr std::uint8_t selected = 0x20, barrier = 0x40;
    std::array<std::uint8_t, 256> bits{};

    bool thresholded(std::uint8_t code) const { return bits[code] & selected; }
    bool anti_thresholded(std::uint8_t code) const { return bits[code] & barrier; }
};
grassfire_classes classes_from_colour_map(const float_cmap_t& map);

// The grey threshold window of the colour map: where the outline crosses
// between two pixels, and which way the selection lies in grey.
struct grey_window {
    long lo = 0, hi = 0;   // RES_CMAP_GREY_LO, RES_CMAP_GREY_HI
    bool doppler = false;  // colour-flow codes: no sub-pixel placement

    // Offset of the threshold crossing from the midpoint between a selected
    // pixel of grey a and its neighbour of grey b, positive towards a.
    double interp(int a, int b) const;
    // Whether the selection lies at greater grey than v (ridges are bright).
    bool greater(int v) const;
};

struct grassfire_settings {
    long hole_type = 2;      // RES_SEGMENT_TYPE: 0 all, 2 body (holes filled), any other: the holes only
    bool connected = false;  // RES_SEGMENT_CONNECTED: only the region of the seed
    bool ridges = false;     // RES_SEGMENT_RIDGES: 8-neighbour burning, gaps crossed along ridges
    grey_window window;
    // Largest state in bytes; 0 for a quarter of the physical memory. Past
    // it a stack falls back to the clicked frame, and a frame gives nothing.
    std::uint64_t state_limit = 0;
};

// Ridge mode: a pixel is on a ridge when its strongest directional response
// reaches ridge_level; a thresholded pixel adds selected_bonus; within two
// pixels of the border or on a barrier the responses are no_ridge.
struct ridge_t {
    static constexpr int ridge_level = 64;
    static constexpr int selected_bonus = 8192;
    static constexpr int no_ridge = -32768;
    int dir = -1;  // 0 along x, 1 along y, 2 along (1, 1), 3 along (1, -1)
    int response = no_ridge;
};

class grassfire {
public:
    // Seed x at or above this: no seed given.
    static constexpr long no_seed = 65535;

    // A record of the last completed run for the views; the algorithm never
    // reads it. A cancelled 3D run leaves it as it was.
    inline static long jump_thresh = 0;
    inline static long xmin = 0, xmax = -1, ymin = 0, ymax = -1, fmin = 0, fmax = -1;

    static bool thresholded(const image_view& image, std::size_t i, const grassfire_classes& classes);
    static bool anti_thresholded(const image_view& image, std::size_t i, const grassfire_classes& classes);

    // One frame: closed outlines, in its pixel coordinates, of the region
    // grown from the seed (or of every selected region when not connected);
    // `frame` is left to the caller. Empty for a seed given outside the
    // image or on an unselected pixel, for no seed with connected on, and
    // when the state cannot be had.
    static contour_set segment(const image_view& image, long seed_x, long seed_y, long jump,
                               const grassfire_settings& settings, const grassfire_classes& classes);

    // Through a stack of frames (frames whose size differs from the seed
    // frame's count as blank): one set per frame, `frame` its stack index.
    // Progress goes to interaction(); nothing when the user cancels.
    static std::optional<std::vector<contour_set>> segment3(const std::vector<image_view>& stack, long seed_x,
                                                            long seed_y, long seed_frame, long jump,
                                                            const grassfire_settings& settings,
                                                            const grassfire_classes& classes);

    // The steps, on a state built by the two above; exposed for tests.
    static bool ignited(grassfire_state& state, long x, long y, std::vector<grassfire_voxel>& front);
    static bool ignited3(grassfire_state& state, long x, long y, long z, std::vector<grassfire_voxel>& front);
    static ridge_t direction(const grassfire_state& state, long x, long y, long z);
    static void fill_in_holes(grassfire_state& state);
    static void fill_in_holes3(grassfire_state& state);
    static long remove_ridges3(grassfire_state& state);
    static void get_extents3(grassfire_state& state);
    static void discover_contours(const grassfire_state& state, long z, contour_set& result);
};
