// The shape model of the session (RES_FIT_MODEL) and what the shape-model
// page and kestrane-tool do with it against the open recording: loading,
// target points from an object, the recording's landmarks, outlines back
// into an object. Each change of the model is signalled on RES_NEW_SHAPE_MODEL.
#pragma once

#include <memory>
#include <vector>

#include <wx/string.h>

#include "models/fit_model.h"

// The session's model, created empty on first use.
std::shared_ptr<fit_model> fit_model_from_session();
// "Current shape model:": the loaded surface file's name, or "none".
wxString current_shape_model_text();
// The filters of the "Save model surface as" dialog, in this order.
inline constexpr const char* shape_model_save_filters = "VRML file|*.wrl|PLY file|*.ply|All files|*.*";
// Tells the views and the page that the model or its registration changed.
void shape_model_changed();
// Loads a model into the session's; on failure it is cleared (and the
// failure says which file: ssm_load_failure_text gives the page's message).
ssm_load_t load_shape_model(const wxString& ply_name);

// Target points: the points of an object's built surface, or without one
// the points of its outlines placed in the world.
std::vector<vertex3d> points_from_outlines(const contour_object& object, const frame_placements& placements);
std::vector<vertex3d> points_from_mesh(const surface_mesh_t& mesh);
// "Points from:" object `object` of the recording. False, with the message
// "First map some points from one of the objects", when it has none.
bool points_from_object(int object);

// The recording's landmarks (RES_LANDMARKS); those on frames are placed
// through their frames' poses.
bool fit_to_session_landmarks();
std::vector<wxString> missing_session_landmarks();

// "Contours to:" object `object` of the recording, every `every` frames,
// accuracy in 0.1 pixels; the recording's objects are replaced as a whole.
bool contours_to_object(int object, int every, int accuracy);

// The label of the search-range control for a range of `range_mm` mm: the
// unit is the power of ten that keeps the shown number between 1 and 10
// ("Search range (mm)" for 1 to 10 mm, "Search range (x0.1 mm):" below...);
// *unit_mm gets that unit in mm, so the control shows range_mm / *unit_mm.
wxString search_range_label(double range_mm, double* unit_mm = nullptr);
