#include "density_calibration.h"

#include <cmath>
#include <cstdlib>

#include "common/dynabuf.h"
#include "outline_statistics.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "script/script_functions.h"

bool density_from_name(const wxString& name, double* density)
{
    const std::string text = name.Strip(wxString::both).ToStdString();
    if (text.empty())
        return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    // A number, then nothing or a unit after a blank: "2a" is a name, not a density.
    if (end == text.c_str() || !std::isfinite(v) || (*end != '\0' && *end != ' ' && *end != '\t'))
        return false;
    *density = v;
    return true;
}

density_fit_t fit_density_line(std::vector<density_insert_t> inserts)
{
    density_fit_t fit;
    fit.inserts = std::move(inserts);
    const double n = static_cast<double>(fit.inserts.size());
    if (fit.inserts.size() < 2) {
        fit.why = "at least two inserts must be outlined, each an object named by its density in mg/cm^3";
        return fit;
    }
    double mx = 0.0, my = 0.0;
    for (const density_insert_t& i : fit.inserts) {
        mx += i.mean_hu / n;
        my += i.density / n;
    }
    double sxx = 0.0, sxy = 0.0, syy = 0.0;
    for (const density_insert_t& i : fit.inserts) {
        sxx += (i.mean_hu - mx) * (i.mean_hu - mx);
        sxy += (i.mean_hu - mx) * (i.density - my);
        syy += (i.density - my) * (i.density - my);
    }
    if (!(syy > 0.0)) {
        fit.why = "the inserts must be of at least two different densities";
        return fit;
    }
    // Inserts whose values do not differ cannot tell a slope.
    if (!(sxx > 1e-12 * (1.0 + mx * mx))) {
        fit.why = "the inserts' CT values do not differ: they cannot give a scale";
        return fit;
    }
    fit.scale = sxy / sxx;
    fit.offset = my - fit.scale * mx;
    double squares = 0.0;
    for (const density_insert_t& i : fit.inserts) {
        const double r = i.density - (fit.scale * i.mean_hu + fit.offset);
        squares += r * r;
    }
    fit.rms = std::sqrt(squares / n);
    fit.ok = std::isfinite(fit.scale) && std::isfinite(fit.offset);
    if (!fit.ok)
        fit.why = "the fit did not give finite values";
    return fit;
}

density_fit_t measure_density_phantom()
{
    density_fit_t none;
    if (!res || !bufp || !res->RES_BUF_DICOM->value()) {
        none.why = "the recording holds no CT values";
        return none;
    }
    const std::shared_ptr<object_table>& objects = res->RES_OBJECT->value();
    const double slope = res->RES_DICOM_HUM->value(), intercept = res->RES_DICOM_HUB->value();
    std::vector<density_insert_t> inserts;
    for (int k = 0; objects && k < object_table::size; ++k) {
        contour_object& object = (*objects)[k];
        density_insert_t insert;
        if (!density_from_name(object.name, &insert.density))
            continue;
        insert.name = object.name;
        double sum = 0.0;
        for (contour_set& set : object.sets) {
            if (set.frame < 0 || set.frame >= bufp->frames())
                continue;
            double frame_sum = 0.0;
            std::size_t count = 0;
            if (sum_inside_region(set, bufp->imagecp(set.frame), true, &frame_sum, &count)) {
                sum += frame_sum;
                insert.pixels += count;
            }
        }
        if (insert.pixels == 0)
            continue;
        insert.mean_hu = slope * sum / static_cast<double>(insert.pixels) + intercept;
        inserts.push_back(insert);
    }
    return fit_density_line(std::move(inserts));
}

bool apply_density_fit(const density_fit_t& fit)
{
    if (!fit.ok || !res)
        return false;
    res->RES_DICOM_BMD_SCALE->write(fit.scale);
    res->RES_DICOM_BMD_OFFSET->write(fit.offset);
    if (res->RES_DICOM_BMD_PHANTOM->value() == "No")
        res->RES_DICOM_BMD_PHANTOM->write("Inserts");
    return true;
}

wxString density_fit_text(const density_fit_t& fit)
{
    wxString text;
    for (const density_insert_t& i : fit.inserts)
        text << wxString::Format("%s: %.1f HU over %zu pixels, known %.1f mg/cm^3\n", i.name, i.mean_hu, i.pixels,
                                 i.density);
    if (fit.ok)
        text << wxString::Format("density = %.6g HU %+.6g mg/cm^3, RMS %.2f mg/cm^3", fit.scale, fit.offset, fit.rms);
    else
        text << "No calibration: " << fit.why;
    return text;
}

void register_density_functions(script_function_table_t& table)
{
    table.register_function("DICOM_CALIBRATE", [](const std::vector<wxString>&) {
        const density_fit_t fit = measure_density_phantom();
        if (!apply_density_fit(fit))
            return script_result_t{false, fit.why};
        return script_result_t{true, density_fit_text(fit)};
    });
}
