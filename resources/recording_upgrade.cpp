// Files written by older versions are brought up to date after they are read.
#include <cmath>
#include <limits>

#include <wx/log.h>

#include "recording_file.h"
#include "resource_table.h"
#include "value_text.h"

namespace {

constexpr const char* current_version = "6.02";

// A version text as a number; a trailing letter ("5.3b") is dropped.
bool version_number(const wxString& text, double* out)
{
    if (value_text::parse_double(text, out))
        return true;
    return text.length() > 1 && !wxIsdigit(text.Last()) && value_text::parse_double(text.Left(text.length() - 1), out);
}

long nearest(double v)
{
    return static_cast<long>(std::floor(v + 0.5));  // halves round up
}

}  // namespace

void recording_io_t::update_resource_version(unsigned long file_mask)
{
    const wxString file_version = res->RES_VERSION->value();
    double v = 0.0;
    const bool current = file_version == current_version;
    const bool known = current || version_number(file_version, &v);
    const bool rf = res->RES_BUF_RF->value();

    if (rf && res->RES_CAL_DATE->value().empty() && res->RES_RF_SCALE->value() != res->RES_XSCALE->value() &&
        res->RES_RF_SCALE->value() != res->RES_YSCALE->value()) {
        res->RES_XSCALE->write_no_changeprocs(res->RES_RF_SCALE->value());
        res->RES_YSCALE->write_no_changeprocs(res->RES_RF_SCALE->value());
        wxLogWarning("This is an RF data file with no valid calibration and incorrect image scales.\nThese scales "
                     "have now been corrected - please ensure the file is saved before closing.");
    }

    // Very old files kept time stamps in nanoseconds. Only files older than this
    // version can have them; ours may hold real gaps of more than 2 s.
    if (known && !current && v < 6.02 && bufp && bufp->frames() > 1) {
        const auto gap = static_cast<std::int64_t>(bufp->timestamp(1) - bufp->timestamp(0));
        if (gap > 20000000) {
            for (long i = 0; i < bufp->frames(); ++i)
                bufp->set_timestamp(i, bufp->timestamp(i) / 100);
            res->RES_BUF_FRAMES->set_needs_save(true);
            wxLogWarning("The time stamps of this file seem to be in nanoseconds; they have been converted to the "
                         "current units.\nPlease save the file if you agree with this conversion.");
        }
    }

    if (!current && !known) {
        wxLogWarning("The file's version '%s' is not a number; no version conversions were made.", file_version);
    } else if (!current) {
        wxString notes;
        if (rf && v <= 3.6) {
            const auto skip = res->RES_STRAIN_SKIP_PIXELS->value();
            if (skip <= 0) {
                wxLogWarning("RES_STRAIN_SKIP_PIXELS is %lld; strain parameters not converted.",
                             static_cast<long long>(skip));
            } else {
                if (res->RES_STRAIN_DIFF_OFFSET->value() > 0)
                    res->RES_STRAIN_DIFF_OFFSET->write_no_changeprocs(std::max<long>(
                        1, nearest(static_cast<double>(res->RES_STRAIN_DIFF_OFFSET->value()) / static_cast<double>(skip))));
                if (res->RES_STRAIN_FILTER_RANGE->value() > 0)
                    res->RES_STRAIN_FILTER_RANGE->write_no_changeprocs(
                        nearest(static_cast<double>(res->RES_STRAIN_FILTER_RANGE->value()) / static_cast<double>(skip)));
                notes << wxString::Format("Converting strain imaging parameters from a version %s file to the current "
                                          "version %s.\nThis will enable the strain display to work correctly should "
                                          "you use it.\n\n",
                                          file_version, current_version);
            }
        }
        if (rf && v <= 3.7) {
            const double m = static_cast<double>(res->RES_RF_LOG_MULT->value()) * 2.302585092994046;
            if (m == 0.0) {
                wxLogWarning("RES_RF_LOG_MULT is 0; RF display parameters not converted.");
            } else {
                const long multiplier = nearest(2550.0 / m);
                res->RES_RF_LOG_OFFSET->write_no_changeprocs(
                    nearest(static_cast<double>(res->RES_RF_LOG_OFFSET->value()) * multiplier / 255.0));
                res->RES_RF_LOG_MULT->write_no_changeprocs(multiplier);
                res->RES_RF_LOG_GAMMA->write_no_changeprocs(1.0);
                notes << wxString::Format("Converting rf display parameters from a version %s file to the current "
                                          "version %s.\nThis will enable the rf display to work correctly should you "
                                          "use it.\n\n",
                                          file_version, current_version);
            }
        }
        // A template cannot carry the thickness scale: only a recording's own value is converted.
        if (v <= 5.0 && file_mask == RES_MASK_RECORDING) {
            const auto scale = res->RES_THICKNESS_SCALE_MM->value();
            auto scaled = scale;
            if (__builtin_mul_overflow(scale, 10, &scaled))
                scaled = scale < 0 ? std::numeric_limits<decltype(scale)>::min()
                                   : std::numeric_limits<decltype(scale)>::max();
            res->RES_THICKNESS_SCALE_MM->write_no_changeprocs(scaled);
            notes << wxString::Format("Converting thickness scale from a version %s file to the current version %s.\n\n",
                                      file_version, current_version);
        }
        // Files before Hounsfield units were adjustable kept none: take the data's own rescale.
        if (v <= 5.3 && file_mask == RES_MASK_RECORDING && res->RES_BUF_DICOM->value() && dicom_rescale_) {
            res->RES_DICOM_HUM->write_no_changeprocs(dicom_rescale_->first);
            res->RES_DICOM_HUB->write_no_changeprocs(dicom_rescale_->second);
            res->RES_DICOM_REDRAW->write_no_changeprocs();
            notes << "Adding resources for conversion to Hounsfield Units which can now be adjusted using the DICOM "
                     "display dialog.\n";
        }
        if (!notes.empty())
            wxLogWarning("%s", notes + "Please ensure the file is saved if you want to preserve the conversion.");
    }
    res->RES_VERSION->write_no_changeprocs(current_version);
    base_res_t::make_pending_writes_happen();
}
