// A statistical shape model (a mean surface with modes of variation) and its
// registration to data of the recording: a similarity transform (rotation,
// translation, scale, optionally mirrored) and the weights of the modes,
// fitted to landmarks and by iterative closest points to target points taken
// from an object. Plain data and numerics: the session glue beside it
// (fit_model_session.h) connects it to the recording, the shape-model page
// and kestrane-tool fit-model. World coordinates are in cm.
//
// The model's shape for mode weights b is v = mean + sum over modes m of
// b_m basis_m (b in cm, the basis of unit length over all variables, so that
// b_m has the spread sqrt(eigenvalue_m)); it is mirrored when the
// registration is (across the plane x = mean centroid's x, in model
// coordinates), then placed in the world as R (s v) + t.
//
// The residuals of the three least-squares fits, all minimised by MINPACK's
// lmdif (ks_lmdif) over increments of rotation (a rotation vector about the
// centroid of the matched points), translation, log scale and, with modes,
// weights in units of sqrt(eigenvalue):
//  - ssm_error_reg: for each matched target point p and its closest model
//    point q (a point on a triangle of the warped surface, moving with the
//    pose and the weights), the three components of
//    n (n . d) + 0.1 (d - n (n . d)), d = q - p, n the surface normal at q
//    (turning with the pose): the miss across the surface counts in full,
//    the slide along it a tenth, since closest points slide as the model
//    moves and holding on to them would hold the fit back. For each mode in
//    use, (sigma / flexibility) b_m / sqrt(eigenvalue_m): a Gaussian prior
//    on the weights, sigma being the RMS distance of the matched pairs at
//    the start of the iteration but never more than the search range: a
//    loose fit (early, far from the data, or with a large range) holds the
//    shape near the mean, a close one lets the data decide. A flexibility
//    of 0 uses no modes.
//  - ssm_error_lad_reg: the same, but each pair contributes the single
//    residual sqrt(2 e (sqrt(r^2 + e^2) - e)), r the length of the weighted
//    miss above: r near 0 counts as in least squares, a far point only in
//    proportion to its distance (least absolute deviation), so that a few
//    gross outliers cannot drag the fit. e is the median pair distance at the start of the iteration
//    (at least 1 micrometre).
//  - ssm_error_fit_sim_lm: the three components of the placed model
//    landmark minus the recording's landmark of the same name; pose and
//    scale only (weights stay), started from the closed-form similarity.
// The modes that take part are the first "Number of SSM modes:" ones (clamped to
// 0..M) whose eigenvalue is above 0; a mode with eigenvalue <= 0 is never used.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <wx/string.h>

#include "common/matrix16d.h"
#include "models/point_grid.h"
#include "models/similarity.h"
#include "models/ssm_file.h"
#include "resources/recording_data.h"
#include "segmentation/planimetry.h"
#include "surfaces/surface_mesh.h"

using ssm_triangle_t = surface_triangle_t;
struct ssm_pair_t;

// "&SSM": least squares; "&LAD": least absolute deviation.
enum class ssm_registration_t { ssm, lad };

// What a load did; on failure the model is cleared.
enum class ssm_load_t { ok, ply_failed, ssm_failed };
// The page's text for a failed load: "Could not parse ply file\nShape model
// cleared" or "Could not parse ssm file\nShape model cleared"; empty for ok.
wxString ssm_load_failure_text(ssm_load_t result);

struct ssm_settings_t {
    ssm_registration_t type = ssm_registration_t::ssm;
    int modes = 5;              // "Number of SSM modes:"
    double flexibility = 1.0;   // "Nonrigid flexibility:"
    int iterations = 20;        // "Number of iterations:"
    double search_range = 1.0;  // cm: farther target points take no part
};

// One target point and the model point closest to it after the last iteration.
struct ssm_match_t {
    std::size_t target = 0;
    vertex3d model;  // world cm
};

// What one iteration (DoICP) did.
struct ssm_iteration_t {
    bool applied = false;   // false: the registration is as it was
    std::size_t pairs = 0;  // target points matched within the search range
    // cm, the distances of the matched pairs before and after the fit (the
    // same model points, moved; not searched again)
    double rms_before = 0.0, rms_after = 0.0;
};

class fit_model {
public:
    ssm_settings_t settings;

    // Loads the model surface `name` (must end in .ply) and the statistical
    // model beside it (same name, suffix .ssm), replacing the model held.
    // A failure logs the reason, clears the model and says which file failed.
    ssm_load_t parse_ply_and_ssm_files(const wxString& name);
    // Adopts a model given as data: mesh (triangles and mean positions), its
    // statistics and landmarks. False, clearing, when they do not agree.
    bool set_model(const surface_mesh_t& mesh, const ssm_t& model, std::vector<ssm_landmark_t> marks,
                   const wxString& name = {});
    // No model, no registration, no targets; the settings stay.
    void clear();
    bool loaded() const { return !mean_.empty(); }
    // The loaded surface file ("" when none): "Current shape model:".
    const wxString& file_name() const { return name_; }

    std::size_t vertex_count() const { return mean_.size() / 3; }
    int mode_count() const { return static_cast<int>(eigenvalues_.size()); }
    const std::vector<double>& eigenvalues() const { return eigenvalues_; }
    const std::vector<ssm_landmark_t>& model_landmarks() const { return landmarks_; }
    // The modes a fit would use now, by index.
    std::vector<int> modes_in_use() const;

    // The registration.
    const rotation_t& rotation() const { return rotation_; }
    const vertex3d& translation() const { return translation_; }
    matrix16d registration_matrix() const { return rigid_matrix(rotation_, translation_); }
    double scale() const { return scale_; }
    bool reflected() const { return reflected_; }
    const std::vector<double>& weights() const { return weights_; }  // cm, one per mode
    // False, changing nothing, for a matrix that is not a finite rotation and
    // translation or a scale that is not above 0.
    bool set_scaled_registration_matrix(const matrix16d& rigid, double scale);
    // "Flip inside/outside": mirrors the model; the mirrored surface's
    // triangles are turned so that its normals still point out.
    void reflect_registration_matrix();
    // False for the wrong count or a weight that is not finite.
    bool set_weights(const std::vector<double>& weights);
    void reset_model();     // identity, unit scale, not mirrored, mean shape
    void reset_nonrigid();  // mean shape, placement kept

    // The target points ("Points from:"), world cm.
    void set_target_points(std::vector<vertex3d> points);
    const std::vector<vertex3d>& target_points() const { return targets_; }
    // "Initialize from object": keeps the rotation, and moves and scales the
    // model so that its centroid and RMS radius match the targets'.
    bool initialize_from_points();

    // The model landmarks with no landmark of the same name in `marks`; when
    // any are missing, logs "First place a landmark on:\n" and their names.
    std::vector<wxString> check_for_landmarks(const landmarks& marks) const;
    // Registers pose and scale to the landmarks of `marks` named like the
    // model's; needs three of them, not in a line. False, unchanged, otherwise.
    bool fit_to_landmarks(const landmarks& marks);

    // One iteration: closest points within the search range, then one fit.
    // Nothing changes when there is no model or no target, when fewer pairs
    // than parameters are found, or when the fit is not finite (with scale
    // above 0); the reason is logged.
    ssm_iteration_t DoICP();
    // "Start registration": settings.iterations iterations under the progress
    // dialog "Shape model registration" ("Iteration %i of %i"), `each` called
    // after every one. Cancelling restores the registration held before the
    // start and returns false. An iteration that changes nothing ends the run
    // (keeping what the iterations before it did) and returns false.
    bool register_model(const std::function<void(int, const ssm_iteration_t&)>& each = {});

    // The warped (deformed and placed) surface, normals pointing out.
    const surface_mesh_t& warped() const { return warped_; }
    const std::vector<ssm_match_t>& matches() const { return matches_; }

    // Cuts the warped surface with the plane of every `every`-th usable frame
    // (frames 0, every, 2 every, ...) and stores the outlines in `object`,
    // replacing its outlines on those frames, simplified to accuracy / 10
    // pixels. False, changing nothing, for every < 1, accuracy < 1 or no model.
    bool contours_to_object(contour_object& object, const frame_placements& placements, int every, int accuracy) const;
    // Saves the warped surface as VRML or PLY by the name's suffix, through a
    // temporary file; "Error opening surface file for writing\n" on failure.
    bool save_surface(const wxString& path, bool vrml2 = false) const;

private:
    struct state_t {
        rotation_t rotation;
        vertex3d translation;
        double scale;
        bool reflected;
        std::vector<double> weights;
    };
    state_t state() const { return {rotation_, translation_, scale_, reflected_, weights_}; }
    void restore(const state_t& s);
    // The model-space shape of vertex i, mirrored when the registration is.
    vertex3d shape_vertex(std::size_t i) const;
    vertex3d place(const vertex3d& v) const;
    void update_warped();
    // Each target point's closest point on the warped surface within the search range.
    std::vector<ssm_pair_t> find_pairs() const;
    void fit_pairs(const std::vector<ssm_pair_t>& pairs, ssm_iteration_t* result);

    wxString name_;
    std::vector<ssm_triangle_t> triangles_;
    std::vector<std::uint32_t> ring_start_, ring_;    // the triangles around each vertex
    std::vector<double> mean_, eigenvalues_, basis_;  // V, M, V x M
    std::vector<ssm_landmark_t> landmarks_;
    double mirror_x_ = 0.0;  // model x of the mirror plane

    rotation_t rotation_ = identity_rotation();
    vertex3d translation_;
    double scale_ = 1.0;
    bool reflected_ = false;
    std::vector<double> weights_;

    std::vector<vertex3d> targets_;
    surface_mesh_t warped_;
    std::vector<ssm_match_t> matches_;
    point_grid_t grid_;
};
