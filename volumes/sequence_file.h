// Tracked ultrasound sequences: a MetaImage (.mha, .mhd) or NRRD (.nrrd,
// .nhdr) image whose third axis is time, 8-bit frames, with fields for each
// frame in the header: Seq_Frame0000_ProbeToTrackerTransform = 16 numbers
// (row-major, mm), ..._ProbeToTrackerTransformStatus = OK, ..._Timestamp
// (seconds), ..._ImageStatus; UltrasoundImageOrientation for them all.
// Headers are untrusted: sizes are checked against the data before anything
// is allocated, and frames are decoded straight into their own images.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <wx/string.h>

#include "common/cip.h"

struct sequence_header_t {
    wxString path;       // the header
    wxString data_path;  // where the frames are: the header's own file or one beside it
    std::uint64_t data_offset = 0;
    bool compressed = false;       // zlib (MetaImage) or gzip (NRRD) stream
    std::uint64_t data_bytes = 0;  // stored bytes from data_offset: compressed size, or the raw frames'
    long width = 0, height = 0, frames = 0;
    bool flip_columns = false, flip_rows = false;  // to bring the frames to MF orientation
    std::map<std::string, std::string> fields;     // the header's own fields, keys in lower case
    // Each frame's fields, keys in lower case without the Seq_FrameNNNN_ prefix.
    std::vector<std::map<std::string, std::string>> frame_fields;

    // A frame's field, or empty.
    const std::string& frame_field(long frame, const std::string& lower_key) const;
};

// Frames larger than this many bytes in all are refused before allocation.
inline constexpr std::uint64_t sequence_max_bytes = std::uint64_t(8) << 30;

// A MetaImage or NRRD file by its extension whose header has per-frame Seq_Frame fields.
bool is_sequence_file(const wxString& path);

// The header, checked: sizes, element type, orientation, frame fields within
// the frame count, and enough data for the frames. False with the reason.
bool read_sequence_header(const wxString& path, sequence_header_t* header, wxString* why);

// Each frame in turn, decoded into a new 8-bit image in MF orientation and
// given to `take` with its index; `take` returns false to stop (the reading
// then fails with an empty reason). False with the reason when the data are
// short, corrupt or longer than stated, or memory runs out.
bool read_sequence_frames(const sequence_header_t& header, const std::function<bool(long, const cip_t&)>& take,
                          wxString* why);

// A time in seconds as written ("12.3456789", "1e-3") in 100 ns ticks,
// exactly for plain decimals; false when negative, not a number or too large.
bool parse_sequence_time(const std::string& text, std::uint64_t* ticks);
// Ticks as seconds with seven decimals, exact.
std::string sequence_time_text(std::uint64_t ticks);
