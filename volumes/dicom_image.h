// A DICOM image's attributes and native pixels, read from the top level of
// its data set: size and depth, the stored-to-Hounsfield rescale, the
// display window, padding, spacings and the slice's place in space. Signed
// data are kept as unsigned 16-bit values with 32768 added, and the rescale
// intercept lowered to match, so that every frame holds the same kind of
// value whatever the file stored.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <wx/string.h>

#include "volumes/dicom_dataset.h"

struct window_preset_t {
    double centre = 0.0, width = 0.0;
};

struct dicom_image_t {
    long rows = 0, columns = 0, frames = 1;
    long samples = 1;  // per pixel: 1 grey, 3 colour
    long bits_allocated = 16, bits_stored = 16, high_bit = 15;
    bool signed_pixels = false;
    bool planar = false;  // colour by planes rather than by pixel
    std::string photometric = "MONOCHROME2";
    double slope = 1.0, intercept = 0.0;  // from the values kept (signed data shifted) to Hounsfield units
    std::optional<double> window_centre, window_width;     // in Hounsfield units, the file's first preset
    std::vector<window_preset_t> window_presets;           // all of them (usable widths only)
    std::optional<std::uint16_t> padding;                  // as kept (shifted with the data)
    double row_spacing_mm = 1.0, column_spacing_mm = 1.0;  // between rows (down) and between columns (across)
    double thickness_mm = 0.0;
    std::optional<double> spacing_between_mm;
    std::optional<std::array<double, 3>> position;       // mm
    std::vector<std::array<double, 3>> frame_positions;  // an enhanced file's, one per frame, or none
    std::optional<std::array<double, 6>> orientation;    // row then column direction, unit and at right angles
    std::string series_uid, modality;
    long series_number = 0, content_time = 0;
    std::vector<wxString> warnings;  // what was assumed, for the user
};

// The attributes of the top level; false with the reason when the image
// cannot be read (no size, depth outside 1 to 16 bits, colour that is not RGB).
bool read_dicom_image(const dicom_dataset_t& ds, dicom_image_t* image, wxString* why);

// Where frame `frame` lies: x, y, z (cm), azimuth, elevation, roll (degrees).
// Without an orientation the slice is unturned at (x, y, -z) / 10. A frame of
// a multi-frame file lies at its own position when the file gives one per
// frame, otherwise moved from the first along the normal by the spacing
// between slices (or, warned, the slice thickness).
std::array<double, 6> dicom_slice_pose(const dicom_image_t& image, long frame);

// Frame `frame` of native pixel data as kept values (rows x columns); colour
// to grey by the mean of its components. False with the reason when the
// data are too short or the file is encapsulated.
bool decode_native_frame(const dicom_dataset_t& ds, const dicom_image_t& image, long frame,
                         std::vector<std::uint16_t>* out, wxString* why);
// The same into `out`, which must hold rows x columns values.
bool decode_native_frame(const dicom_dataset_t& ds, const dicom_image_t& image, long frame,
                         std::span<std::uint16_t> out, wxString* why);

// Frame `frame` as kept values, native or compressed. Codecs are chosen by
// the transfer syntax, never by the data's first bytes; compressions not read
// are refused with the reason.
bool decode_frame(const dicom_dataset_t& ds, const dicom_image_t& image, long frame, std::vector<std::uint16_t>* out,
                  wxString* why);
// Into `out` of rows x columns values: native data straight in, without a copy.
bool decode_frame(const dicom_dataset_t& ds, const dicom_image_t& image, long frame, std::span<std::uint16_t> out,
                  wxString* why);

// The refusal for compressed data in a format not read.
inline constexpr const char* dicom_unsupported_compression =
    "This DICOM file contains compressed data, but in an unsupported format.\nCurrently Kestrane only supports RLE "
    "and various JPEG compressed formats.";
