// Moving a reslice plane as a whole: turned about an axis through its centre
// or pushed along its normal. The mouse in a reslice view and a script's
// reslice camera functions move planes alike.
#pragma once

#include "reslice_geometry.h"

// The plane of `s` turned by `degrees` (right-handed) about the unit world
// axis through its centre; the up point is put one centimetre from the centre
// along the turned up axis. A zero or non-finite axis leaves the plane as it is.
reslice_settings turned_plane(const reslice_settings& s, const vertex3d& axis, double degrees);

// The plane of `s` moved `cm` along its unit normal (centre and up point alike).
reslice_settings moved_plane(const reslice_settings& s, double cm);
