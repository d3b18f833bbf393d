#include "techniques.h"

namespace {

using control = thickness_control_t;

void switches(thickness_switches_t* s, bool threshold, bool fwhm, bool post_blur, bool local_density, bool endo)
{
    s->threshold = threshold;
    s->fwhm = fwhm;
    s->post_blur = post_blur;
    s->local_density = local_density;
    s->endo_model = endo;
}

const std::vector<control> switch_controls = {control::threshold, control::fwhm, control::post_blur,
                                              control::local_density, control::endo_model};

std::vector<control> with(std::vector<control> more)
{
    std::vector<control> all = switch_controls;
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

}  // namespace

std::vector<thickness_control_t> apply_technique(long type, thickness_switches_t* s)
{
    constexpr double estimated = 1e10;
    switch (type) {
        case 1:  // "Auto threshold"
        case 2:  // "FWHM"
            switches(s, type == 1, type == 2, false, false, false);
            s->a = s->b = s->c = s->gauss = s->rect = estimated;
            return with({control::a, control::b, control::c, control::gauss, control::rect});
        case 3:  // "CBM v1"
            switches(s, false, false, false, false, false);
            s->a = s->c = s->gauss = s->rect = estimated;
            return with({control::a, control::c, control::gauss, control::rect});
        case 4:  // "CBM v2"
        case 5:  // "Endo CBM v2"
            switches(s, false, false, true, false, type == 5);
            s->a = s->c = estimated;
            return with({control::a, control::c});
        case 6:  // "SSC-CBM"
            switches(s, false, false, false, true, true);
            s->a = s->c = estimated;
            return with({control::a, control::c});
        case 7:  // "HRTC"
            switches(s, true, false, false, false, true);
            s->a = s->b = s->c = s->gauss = s->rect = estimated;
            if (s->width == 0)
                s->width = 4;
            return with({control::a, control::b, control::c, control::gauss, control::rect});
        default:  // "Manual", or a type no technique has
            return {};
    }
}
