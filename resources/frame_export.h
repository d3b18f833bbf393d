// Exporting a chosen set of frames: as a new recording that becomes the data
// in memory, or as numbered image files; and a pair of volumes of a
// multi-volume recording as a new recording.
#pragma once

#include <vector>

#include <wx/string.h>

// Frames selected by a range text such as "1,4,5", "2,10:40" or "0:2:500":
// one flag per frame of a recording of `frames` frames.
std::vector<char> parse_frame_range(const wxString& text, long frames);

// The complete volume ranges a selection touches, or an empty text when it
// covers whole volumes only ("Complete volume range is ...").
wxString partial_volume_report(const std::vector<char>& keep, long frames_in_volume);

enum class image_export_t { bmp, png, jpeg, tiff };

// Keeps the selected frames and everything tied to them (outlines, 2D
// landmarks, sweeps, loads) and writes them as a recording at `path`. The data
// in memory become the subset only when the file was written.
bool export_frames_to_recording(const std::vector<char>& keep, const wxString& path);

// One image per selected frame: `path` itself for a single frame, else the
// stem followed by the frame number ("%04li") and the extension. The
// extension names the image type; a name without one gets `type`'s.
bool export_frames_to_images(const std::vector<char>& keep, const wxString& path, image_export_t type);

// Volumes a and b (counted from 0) of a recording made of volumes of
// RES_FRAMES_IN_VOL frames, as a new recording.
bool export_volume_pair(long a, long b, const wxString& path);
