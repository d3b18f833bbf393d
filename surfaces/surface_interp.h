// A closed surface built from one object's outlines on arbitrarily placed
// frames: each outline set becomes a signed distance map on its own plane, the
// field is interpolated along a grid laid through the space between
// consecutive planes, and its zero level is triangulated. Called by the draw
// page's "Update" and "Update all", and by the thickness page.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <wx/string.h>

#include "segmentation/outline_model.h"
#include "resources/recording_data.h"
#include "segmentation/planimetry.h"
#include "surfaces/surface_mesh.h"

struct plane_t;
struct enclosed_t;
struct mesh_hit_t;
struct reslice_source;
struct surface_colouring_t;
struct byte_cmap_t;
class surface_progress_t;

// The "Resolution:" choices of the draw page, coarsest first.
inline constexpr const char* surface_resolution_names[] = {"Uber low", "Super low", "Very low", "Low",
                                                           "Medium",   "High",      "Very high"};
// Grid step in pixels of a "Resolution:" selection: 24, 16, 10, 6, 4, 2 or 1; 2 otherwise.
int surface_resolution_step(int selection);

struct surface_settings_t {
    int resolution = 4;       // grid step in pixels
    int smooth_strength = 0;  // "Strength:"
    int smooth_type = 0;      // 0 "Standard", 1 "Pre-Version 4.7"
    int connect = 0;          // bit 0 RES_SURFACE_CONNECT_OBJECTS, bit 1 RES_SURFACE_CONNECT_HOLES
    bool cover = false;       // RES_SURFACE_COVER: ends closed at the last outlines
    int surface_type = 0;     // 0 ordinary, 3 for thickness work
    int assoc_object = -1;
};

// One run of consecutive outline planes of one sweep, closed on its own.
struct surface_sequence_t {
    surface_mesh_t mesh;
    long first_frame = -1, last_frame = -1;
    long sweep = 0;
};

class surface_interp {
public:
    double volume = 0.0;         // millilitres
    double display_scale = 1.0;  // set by the caller
    int object = -1;
    vertex3d centre;             // centroid of the enclosed volume, world cm
    bool self_intersecting = false;

    // Builds the surface of `object` (index `object_index`). Nothing when no
    // sequence has two usable planes, when the grid cannot be had, or when the
    // user cancels; the reason is logged. Where outlines still cross after
    // repair a landmark is added to `problems` (when given) on that frame.
    // Progress goes to `progress` when given (several builds under one
    // dialog), else to a dialog of the build's own.
    static std::unique_ptr<surface_interp> build(const contour_object& object, int object_index,
                                                 const frame_placements& placements,
                                                 const surface_settings_t& settings, landmarks* problems = nullptr,
                                                 surface_progress_t* progress = nullptr);

    // A surface of one closed mesh (a part split off another), its volume and
    // centre measured; nothing when the mesh encloses no volume.
    static std::unique_ptr<surface_interp> from_mesh(surface_mesh_t mesh, int object_index);

    // Recomputes volume and centre from the triangles.
    void triangle_volume();

    // The closed outlines the surface cuts on `plane`, in its pixels, each
    // simplified to `tolerance` pixels: what the surface shows on frames it
    // passes through, a reslice is cropped to and a voxel export writes.
    std::vector<contour> intersection_contour(const plane_t& plane, double tolerance) const;
    // Colours every point with the recorded data along its normal, through
    // `map`; false, leaving the colours as they were, when no point found data.
    bool colour_with_data(const reslice_source& frames, const surface_colouring_t& how, const byte_cmap_t* map);
    // One colour per point across the sequences in order (as the thickness
    // results number them), or none to go back to the object's colour; false,
    // changing nothing, for a count other than the points'. Views redraw a
    // surface whose colour_version() moved.
    bool set_point_colours(const std::vector<rgb_t>& colours)
    {
        std::size_t points = 0;
        for (const surface_sequence_t& s : sequences_)
            points += s.mesh.points.size();
        if (!colours.empty() && colours.size() != points)
            return false;
        auto from = colours.begin();
        for (surface_sequence_t& s : sequences_) {
            const auto n = static_cast<std::ptrdiff_t>(colours.empty() ? 0 : s.mesh.points.size());
            s.mesh.colours.assign(from, from + n);
            from += n;
        }
        ++colour_version_;
        return true;
    }
    unsigned colour_version() const { return colour_version_; }
    // Where the segment from p to q first meets the surface; false when it misses.
    bool surface_intersection(const vertex3d& p, const vertex3d& q, mesh_hit_t* hit) const;

    int get_assoc_object_no() const { return assoc_object_; }
    const std::vector<surface_sequence_t>& get_seq() const { return sequences_; }
    std::size_t get_num_sweeps() const { return sequences_.size(); }
    // The sequences as one mesh, one after another: the numbering per-point results use.
    surface_mesh_t joined() const;

private:
    // Volume and centre from the sequences' measures, in their order.
    void sum_volumes(const std::vector<enclosed_t>& measures);

    int assoc_object_ = -1;
    unsigned colour_version_ = 0;
    std::vector<surface_sequence_t> sequences_;
};
