// A small statistical shape model with known answers, and instances of it
// under a known similarity, for trying shape-model fitting without data and
// for testing it: a lumpy closed blob (world cm) whose modes are smooth
// bulges of its surface, independent of moving, turning and scaling it.
#pragma once

#include <cstdint>
#include <vector>

#include <wx/string.h>

#include "models/similarity.h"
#include "models/ssm_file.h"
#include "resources/recording_data.h"
#include "surfaces/surface_mesh.h"

struct shape_model_demo_t {
    surface_mesh_t mesh;  // the mean shape: points, outward normals, triangles
    ssm_t model;
    std::vector<ssm_landmark_t> marks;
};

// About `vertices` vertices (rings of latitude, so a few more or fewer) and
// `modes` modes (2 to 31), sqrt(eigenvalue) falling from mode to mode.
shape_model_demo_t make_shape_model_demo(int vertices = 1000, int modes = 6);

struct shape_instance_options_t {
    double angle_degrees = 30.0;
    vertex3d axis{1.0, 2.0, 3.0};
    double scale = 1.2;
    vertex3d translation{5.0, -3.0, 2.0};                             // cm
    std::vector<double> weights_sd{1.5, -1.0, 0.8, -0.6, 0.4, -0.3};  // per mode, in sqrt(eigenvalue); others 0
    double noise = 0.01;                                              // cm, per coordinate
    double coverage = 0.6;                                            // share of the vertices seen, on one side
    double outliers = 0.0;  // extra points off the surface, as a share of those seen
    bool mirrored = false;  // mirrored before it is placed
    std::uint32_t seed = 1;
};

struct shape_instance_t {
    surface_mesh_t mesh;   // the part seen, noisy; outliers as points of no triangle at the end
    landmarks marks;       // surface landmarks of object 0, named as the model's, noisy
    surface_mesh_t truth;  // the whole instance, exact
    rotation_t rotation = identity_rotation();
    vertex3d translation;
    double scale = 1.0;
    std::vector<double> weights;  // cm, one per mode
};

shape_instance_t make_shape_instance(const shape_model_demo_t& demo, const shape_instance_options_t& how);

// Files written by write_shape_model_demo.
inline constexpr const char* shape_model_demo_name = "shape_model.ply";  // with shape_model.ssm beside it
inline constexpr const char* shape_instance_demo_name = "shape_instance.ply";
inline constexpr const char* shape_truth_demo_name = "shape_instance_truth.txt";

// The model (PLY with FIT_MODEL_LM comments, and .ssm), an instance (PLY with
// its landmarks as LANDMARK comments) and a text file of the instance's
// transform and weights, in `dir`. False, with the reason logged, on failure.
bool write_shape_model_demo(const wxString& dir, const shape_model_demo_t& demo, const shape_instance_options_t& how);
