// The results of a thickness mapping: one value per surface point for each
// quantity, thickness_unknown (1e10) where a point has none; and their
// files: one per quantity, named by a base name and the quantity's suffix,
// little-endian doubles in point order, no header.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include <wx/string.h>

#include "thickness/point_fit.h"

struct thickness_results_t {
    // In the order of the file suffixes below.
    enum quantity_t {
        thick,
        smoothed_thick,
        thick_error,
        density,
        surface,
        joint,
        joint_error,
        blur,
        blur_error,
        endo,
        endo_error,
        trabecular,
        trabecular_error,
        tissue,
        count
    };
    std::array<std::vector<double>, count> values;

    std::size_t points() const { return values[thick].size(); }
    // Every quantity of `points` points, none with a result.
    void reset(std::size_t points);
    void set(std::size_t point, const point_result_t& r);
};

inline constexpr const char* thickness_file_suffixes[thickness_results_t::count] = {
    "_thick_dat", "_smthick_dat", "_thick_err", "_density_dat", "_surface_dat", "_joint_dat", "_joint_err",
    "_blur_dat",  "_blur_err",    "_endo_dat",  "_endo_err",    "_trab_dat",    "_trab_err",  "_tissue_dat"};

// The files `base` + suffix.
std::vector<wxString> thickness_file_names(const wxString& base);

// Writes every file, or none: each goes to a temporary file first and all
// replace their targets only once all are written. False, with the reason
// logged ("Error opening binary thickness files for writing.\n" when one
// cannot be made).
bool save_thickness(const wxString& base, const thickness_results_t& results);

// Reads the files of `base` for a surface of `points` points into *results,
// which is left as it was on failure: a missing file, or a length other than
// the surface's (each with its message). Non-finite values read as
// thickness_unknown.
bool load_thickness(const wxString& base, std::size_t points, thickness_results_t* results);
