#include "thickness_options.h"

#include <cmath>
#include <cstdio>

#include "resources/resource_table.h"
#include "thickness/thickness_settings.h"

namespace {

bool number(const wxString& text, double* v)
{
    return text.ToCDouble(v) && std::isfinite(*v);
}

long technique_of(const wxString& text)
{
    long k = -1;
    if (text.ToLong(&k))
        return k >= 0 && k < long(std::size(thickness_technique_names)) ? k : -1;
    for (long t = 0; t < long(std::size(thickness_technique_names)); ++t)
        if (text.IsSameAs(thickness_technique_names[t], false))
            return t;
    return -1;
}

// A settings switch turned on by a bare option.
using bool_setting_t = bool_res_t* resource_t::*;
using double_setting_t = double_res_t* resource_t::*;
using long_setting_t = long_res_t* resource_t::*;

}  // namespace

const char* thickness_options_usage()
{
    return "  --series N      which DICOM series, when there are several\n"
           "  --template FILE.kst   thickness settings from a template (before the options below)\n"
           "  --technique T   0 to 7 or its name (Manual, Auto threshold, FWHM, CBM v1, CBM v2,\n"
           "                  Endo CBM v2, SSC-CBM, HRTC)\n"
           "  --line MM       profile length (default 18)     --width W   bundle half-width, 0 to 16\n"
           "  --gauss MM      in-plane FWHM blur              --rect MM   out-of-plane FWHM blur\n"
           "  --outer HU, --cortex HU, --inner HU   densities to hold fixed\n"
           "  --in-frame      profiles within the slice plane\n"
           "  --threshold, --fwhm, --endo, --local-peak, --post-blur, --metal, --inner-layer, --outer-layer\n"
           "                  the model switches (thresholding, FWHM rule, endocortical model, local peak\n"
           "                  as density, density post-corrected for blur, metal, the layer modes)\n"
           "  --estimate-density   first estimate the cortical density and the blur from the whole\n"
           "                  surface, and map with them (unless given)\n"
           "  --smooth N      smoothing passes for the smoothed thickness (default 0)\n"
           "  --smooth-fill N passes filling points without a result while smoothing (default 100)\n"
           "  --outlier-angle DEG, --outlier-distance N   fits unlike their neighbours' (normals within\n"
           "                  DEG, default 37) by over N hundredths of a mm (default 100) are dropped\n"
           "                  before smoothing; a distance of 0 keeps every fit\n"
           "  --create        also save the outer and inner cortical surfaces, the cortex and the smoothed\n"
           "                  thickness (NAME_outer.ply, NAME_inner.ply, NAME_cortex.ply,\n"
           "                  NAME_smoothed_thickness.ply); the cortex takes --inc-inner, --inc-outer and\n"
           "                  --inc-caps (all three when none is given)\n"
           "  --alternate OTHER.ply   thickness as the distance along each normal to this second surface\n"
           "                  (within the line length), instead of fitting profiles\n"
           "  --plots png,csv write the plots (density estimate, --profile) as PNG and/or CSV\n"
           "  --profile K     plot point K's profile: data, fitted function and model steps\n"
           "  --dump-profiles every point's profile and fit as JSON lines (NAME_profiles.jsonl)\n"
           "  --threads N     fitting threads (default: every core)\n"
           "  --overwrite     replace result files that exist\n";
}

bool parse_thickness_options(const std::vector<wxString>& args, std::size_t first, thickness_options_t* o)
{
    const std::pair<const char*, bool_setting_t> switches[] = {
        {"--in-frame", &resource_t::RES_THICKNESS_IN_FRAME},
        {"--threshold", &resource_t::RES_THICKNESS_THRESHOLD},
        {"--fwhm", &resource_t::RES_THICKNESS_FWHM},
        {"--endo", &resource_t::RES_THICKNESS_ENDO_MODEL},
        {"--local-peak", &resource_t::RES_THICKNESS_LOCAL_DENSITY},
        {"--post-blur", &resource_t::RES_THICKNESS_POST_BLUR},
        {"--metal", &resource_t::RES_THICKNESS_METAL},
        {"--inner-layer", &resource_t::RES_THICKNESS_INNER_LAYER},
        {"--outer-layer", &resource_t::RES_THICKNESS_OUTER_LAYER},
        {"--inc-inner", &resource_t::RES_THICKNESS_CREATE_INNER},
        {"--inc-outer", &resource_t::RES_THICKNESS_CREATE_OUTER},
        {"--inc-caps", &resource_t::RES_THICKNESS_CREATE_CAPS}};
    // Values with their bounds; the line is given in mm and held in cm.
    struct value_option_t {
        const char* name;
        double_setting_t setting;
        double low, high, scale;
    };
    const value_option_t values[] = {{"--line", &resource_t::RES_THICKNESS_LINE, 1e-3, 200.0, 0.1},
                                     {"--gauss", &resource_t::RES_THICKNESS_GAUSS, 1e-3, 100.0, 1.0},
                                     {"--rect", &resource_t::RES_THICKNESS_RECT, 0.0, 100.0, 1.0},
                                     {"--outer", &resource_t::RES_THICKNESS_A, -1e6, 1e6, 1.0},
                                     {"--cortex", &resource_t::RES_THICKNESS_B, -1e6, 1e6, 1.0},
                                     {"--inner", &resource_t::RES_THICKNESS_C, -1e6, 1e6, 1.0}};
    struct long_option_t {
        const char* name;
        long_setting_t setting;
        long low, high;
    };
    const long_option_t longs[] = {{"--width", &resource_t::RES_THICKNESS_WIDTH, 0, 16},
                                   {"--smooth", &resource_t::RES_THICKNESS_SMOOTH, 0, 1000},
                                   {"--smooth-fill", &resource_t::RES_THICKNESS_SMOOTH_FILL, 0, 1000},
                                   {"--outlier-angle", &resource_t::RES_THICKNESS_OUTLIER_REJECT, 0, 180},
                                   {"--outlier-distance", &resource_t::RES_THICKNESS_DISTANCE_REJECT, 0, 100000}};
    for (std::size_t i = first; i < args.size(); ++i) {
        const wxString& arg = args[i];
        const bool has_value = i + 1 < args.size();
        const wxString value = has_value ? args[i + 1] : wxString();
        bool known = true;
        if (arg == "--overwrite") {
            o->overwrite = true;
        } else if (arg == "--estimate-density") {
            o->estimate = true;
        } else if (arg == "--create") {
            o->create = true;
        } else if (arg == "--dump-profiles") {
            o->dump_profiles = true;
        } else if (arg == "--alternate" && has_value) {
            o->alternate = args[++i];
        } else if (arg == "--template" && has_value) {
            o->template_path = args[++i];
        } else if (arg == "--plots" && has_value) {
            for (const wxString& kind : wxSplit(value, ',')) {
                o->plots_png |= kind == "png";
                o->plots_csv |= kind == "csv";
                known &= kind == "png" || kind == "csv";
            }
            ++i;
        } else if (arg == "--profile" && has_value && value.ToLong(&o->profile_point) && o->profile_point >= 0) {
            ++i;
        } else if (arg == "--series" && has_value && value.ToLong(&o->series) && o->series >= 1) {
            ++i;
        } else if (arg == "--threads" && has_value && value.ToLong(&o->threads) && o->threads >= 1 &&
                   o->threads <= 64) {
            ++i;
        } else if (arg == "--technique" && has_value) {
            const long technique = technique_of(value);
            known = technique >= 0;
            o->settings.push_back([technique] { choose_thickness_technique(technique); });
            ++i;
        } else {
            known = false;
            for (const auto& [name, setting] : switches)
                if (arg == name) {
                    o->settings.push_back([s = setting] { (res->*s)->write(true); });
                    known = true;
                }
            double v = 0.0;
            for (const value_option_t& option : values)
                if (arg == option.name && has_value && number(value, &v) && v >= option.low && v <= option.high) {
                    o->settings.push_back([s = option.setting, w = v * option.scale] { (res->*s)->write(w); });
                    known = true;
                    ++i;
                }
            long k = 0;
            for (const long_option_t& option : longs)
                if (arg == option.name && has_value && value.ToLong(&k) && k >= option.low && k <= option.high) {
                    o->settings.push_back([s = option.setting, k] { (res->*s)->write(k); });
                    known = true;
                    ++i;
                }
        }
        if (!known) {
            std::fprintf(stderr, "kestrane-tool thickness: bad option '%s'.\n", arg.utf8_str().data());
            return false;
        }
    }
    return true;
}
