// The image-to-probe matrix of a tracked sequence (row-major 4x4, mm per
// pixel and mm) and Kestrane's probe calibration: the rigid image-to-sensor
// pose (cm, degrees) with the pixel scales (cm a pixel). Tracked-sequence
// files do not carry the matrix: it comes as 16 numbers or from a device-set
// XML file (<Transform From="Image" To="Probe" Matrix="..."/>).
#pragma once

#include <array>
#include <string>

#include <wx/string.h>

#include "common/matrix16d.h"

using row_major16_t = std::array<double, 16>;

struct probe_calibration_fit_t {
    std::array<double, 6> pose{};  // x, y, z (cm), azimuth, elevation, roll (degrees)
    double sx = 0.0, sy = 0.0;     // cm a pixel
    double shear_mm = 0.0;         // the symmetric factor's off-diagonal term, mm a pixel
};

// Exactly 16 finite numbers (blanks, commas or brackets between).
bool parse_matrix16(const std::string& text, row_major16_t* m, wxString* why);
// The Matrix of the first <Transform From="Image" To=`to_tool`> element of a device-set file.
bool read_image_to_probe_xml(const wxString& path, const std::string& to_tool, row_major16_t* m, wxString* why);
// A file name (read as a device-set XML file) or the 16 numbers themselves.
bool image_to_probe_from_argument(const wxString& argument, const std::string& to_tool, row_major16_t* m,
                                  wxString* why);

// The rotation and scales nearest the matrix's first two columns (the image
// plane: pixels have no third coordinate), by polar decomposition; its third
// column is ignored. False when the columns do not span a plane or the last
// row is not 0 0 0 1.
bool fit_probe_calibration(const row_major16_t& image_to_probe, probe_calibration_fit_t* fit, wxString* why);
// The largest distance (mm) at the corners of a width x height image between
// where the matrix and the calibration put a pixel.
double calibration_residual_mm(const row_major16_t& image_to_probe, const probe_calibration_fit_t& fit, long width,
                               long height);
// The matrix a calibration stands for; the third column is the normal scaled by sx.
row_major16_t image_to_probe_matrix(const std::array<double, 6>& pose, double sx, double sy);

// A tracker transform (row-major, mm) as a rigid matrix in cm; false when a
// number is not finite, the last row is not 0 0 0 1 or the rotation is not
// orthonormal and right-handed (to 1e-4).
bool rigid_cm_from_row_major_mm(const row_major16_t& m, matrix16d* cm, wxString* why);
row_major16_t row_major_mm_from_rigid_cm(const matrix16d& cm);
