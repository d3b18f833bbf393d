// The script's view functions, headless: the cameras of the views are state
// (the 3D camera, the reslice windows' planes and zooms, the review's frame
// and zoom), so scripts set them without a window, and the 2D views' images
// are saved from the data as the views show them. Lengths are in mm, angles
// in degrees, zooms are magnifications (1 fits the whole image or scene).
//
//   ORIENT_3D fx fy fz ux uy uz   look along (fx, fy, fz) with (ux, uy, uz) up
//   LOCATE_3D x y z               look at the world point (mm)
//   ROTATE_3D a, TWIST_3D a       turn about the view's up axis, its line of sight
//   MOVE_3D d                     move the camera and the point it looks at d along its line of sight
//   ZOOM_3D / _REVIEW / _RESLICE / _ORTHO_LEFT / _ORTHO_RIGHT f   set the view's zoom
//   ROTATE_RESLICE a, TWIST_RESLICE a         turn the main reslice plane about its up axis, its normal
//   ROTATE_RESLICE_3D a, TWIST_RESLICE_3D a   the same about the 3D view's up axis, its line of sight
//   MOVE_RESLICE / _ORTHO_LEFT / _ORTHO_RIGHT d    move the plane d along its normal
//   OFFSET_RESLICE / _ORTHO_LEFT / _ORTHO_RIGHT d  put the plane d along its normal from where it was placed
//   OFFSET_REVIEW n               show frame n (from 0)
//   SAVE_REVIEW / SAVE_RESLICE / SAVE_ORTHO_LEFT / SAVE_ORTHO_RIGHT file   the view's image, by its extension
//
// A plane not yet placed on the data is placed first, as its page places it.
#pragma once

#include <functional>

#include "reslice_frames.h"

class script_function_table_t;

// `frames` gives the frames to reslice (with the surfaces to crop to, where
// the caller knows them).
void register_view_functions(script_function_table_t& table, std::function<reslice_source()> frames);
