// How far each view may be zoomed, wherever the zoom is set from (the mouse,
// a page, a script). A zoom of 1 fits the whole frame, reslice or scene.
#pragma once

inline constexpr double min_review_zoom = 0.05, max_review_zoom = 50.0;
inline constexpr double min_reslice_zoom = 0.1, max_reslice_zoom = 20.0;
// The 3D view stands between 0.5 and 20 scene radii from what it looks at, 3 at zoom 1.
inline constexpr double view3d_default_distance = 3.0, view3d_min_distance = 0.5, view3d_max_distance = 20.0;
inline constexpr double min_view3d_zoom = view3d_default_distance / view3d_max_distance;
inline constexpr double max_view3d_zoom = view3d_default_distance / view3d_min_distance;
