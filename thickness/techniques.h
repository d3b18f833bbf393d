// The thickness techniques ("Technique:"): each sets the model switches and
// fixed values it stands for, and fixes the controls it set ("Manual" sets
// and fixes nothing).
#pragma once

#include <vector>

// The settings a technique writes (RES_THICKNESS_...); thickness_unknown
// (1e10) means estimated at every point.
struct thickness_switches_t {
    bool threshold = false, fwhm = false, post_blur = false, local_density = false, endo_model = false;
    double a = 1e10, b = 1e10, c = 1e10, gauss = 1e10, rect = 0.0;
    long width = 0;
};

enum class thickness_control_t { threshold, fwhm, post_blur, local_density, endo_model, a, b, c, gauss, rect, width };

// Technique 0 "Manual" to 7 "HRTC", as the technique choice lists them.
inline constexpr const char* thickness_technique_names[] = {"Manual", "Auto threshold", "FWHM",    "CBM v1",
                                                            "CBM v2", "Endo CBM v2",    "SSC-CBM", "HRTC"};

// Writes technique `type`'s settings into *s (others left as they are) and
// gives the controls it fixes. An unknown type changes nothing.
std::vector<thickness_control_t> apply_technique(long type, thickness_switches_t* s);
