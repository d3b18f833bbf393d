// Calibrating CT values to bone mineral density with a phantom scanned beside
// the patient: each insert of known density is outlined as an object named by
// that density in mg/cm^3 ("0", "100", "200 mg/cm^3"), the mean Hounsfield
// units inside its outlines (every outlined pixel of every frame counts once)
// are fitted by least squares to the known densities, and the line becomes
// RES_DICOM_BMD_SCALE and RES_DICOM_BMD_OFFSET (density = scale HU + offset).
#pragma once

#include <cstddef>
#include <vector>

#include <wx/string.h>

struct density_insert_t {
    wxString name;
    double density = 0.0;  // mg/cm^3, from the name
    double mean_hu = 0.0;
    std::size_t pixels = 0;
};

struct density_fit_t {
    bool ok = false;
    wxString why;  // when not ok
    double scale = 1.0, offset = 0.0;
    double rms = 0.0;  // mg/cm^3, of the inserts about the line
    std::vector<density_insert_t> inserts;
};

// The known density an object's name gives: a number at its start (a unit
// may follow after a blank); false for any other name.
bool density_from_name(const wxString& name, double* density);

// The least-squares line through the inserts; needs two inserts of different
// densities and different mean values.
density_fit_t fit_density_line(std::vector<density_insert_t> inserts);

// Every object named by a density with outlines on the held CT frames,
// measured; then the fit. Not ok for a recording without CT values.
density_fit_t measure_density_phantom();

// The fit made the recording's: scale and offset written, and the phantom
// named ("Inserts") when none was, so densities are shown. Returns false,
// changing nothing, for a fit that is not ok.
bool apply_density_fit(const density_fit_t& fit);

// The report a person reads: one line an insert, then the line and its RMS.
wxString density_fit_text(const density_fit_t& fit);

class script_function_table_t;
// DICOM_CALIBRATE: measure, fit and apply.
void register_density_functions(script_function_table_t& table);
