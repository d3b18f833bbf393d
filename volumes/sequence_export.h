// The session's recording written as a tracked ultrasound sequence: a
// MetaImage (.mha, data attached) or NRRD (.nrrd) of its 8-bit frames along
// the third axis, each frame's pose as Seq_FrameNNNN_ProbeToTrackerTransform
// (row-major, mm) with status OK, or INVALID (and the identity) for a frame
// without a pose, and its time stamp in seconds. The probe calibration goes
// into the header as ImageToProbeTransform (row-major, mm a pixel and mm),
// which our import reads when no other calibration is given.
#pragma once

#include <wx/string.h>

#include "volumes/image_to_probe.h"

struct sequence_export_report_t {
    row_major16_t image_to_probe{};
    long frames = 0, frames_without_pose = 0;
};

// compress: a zlib stream (MetaImage, with its CompressedDataSize) or gzip
// (NRRD). Written beside and renamed into place. False with the reason.
bool write_sequence_file(const wxString& path, bool compress, sequence_export_report_t* report, wxString* why);
