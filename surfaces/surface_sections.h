// The surfaces built in this session as reslices and voxel exports see them:
// their sections through a plane, in reslice pixels.
#pragma once

#include "reconstruction/reslice_crop.h"
#include "reconstruction/reslice_frames.h"

// A snapshot of every surface slot at the time of the call, so the result
// can be used from worker threads and is not changed by later rebuilds.
surface_sections_fn surface_sections_from_session();

// The session's frames (source_from_session) with those surfaces to crop to.
reslice_source source_with_surfaces_from_session();
