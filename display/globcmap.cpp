#include "globcmap.h"

#include <algorithm>

#include <wx/log.h>

#include "common/hex_digit.h"
#include "display/rgb_convert.h"
#include "resources/resource_table.h"

globcmap_t* colourmap = nullptr;

namespace {

constexpr long strain_display_mode = 3;

std::size_t entry(int i)
{
    return static_cast<std::size_t>(std::clamp(i, 0, 255));
}

int hex_digit(wxUniChar c)
{
    return c.IsAscii() ? hex_digit_value(static_cast<char>(c.GetValue())) : -1;
}

}  // namespace

bool parse_background_colour(const wxString& text, std::array<std::uint8_t, 3>& rgb)
{
    const wxString t = text.Strip(wxString::both);
    if (t.length() == 7 && t[0] == '#') {
        std::array<std::uint8_t, 3> out{};
        bool ok = true;
        for (std::size_t k = 0; k < 3 && ok; ++k) {
            const int hi = hex_digit(t[1 + 2 * k]), lo = hex_digit(t[2 + 2 * k]);
            ok = hi >= 0 && lo >= 0;
            out[k] = static_cast<std::uint8_t>(hi * 16 + lo);
        }
        if (ok) {
            rgb = out;
            return true;
        }
    }
    rgb = {50, 50, 50};
    return false;
}

globcmap_t::globcmap_t()
    : change_handler_(std::make_unique<pmf_functor<globcmap_t>>(this, &globcmap_t::change_globcmap))
{
    if (!res) {
        wxLogError("The colour map needs the resource table; showing plain grey.");
        InstallGreyColormap();
        return;
    }
    base_functor* const f = change_handler_.get();
    doppler_ = res->RES_BUF_DOPPLER->read(f);
    binary_ = res->RES_CMAP_BINARY->read(f);
    grey_lo_ = res->RES_CMAP_GREY_LO->read(f);
    grey_hi_ = res->RES_CMAP_GREY_HI->read(f);
    grey_anti_ = res->RES_CMAP_GREY_ANTI->read(f);
    red_lo_ = res->RES_CMAP_RED_LO->read(f);
    red_hi_ = res->RES_CMAP_RED_HI->read(f);
    blue_lo_ = res->RES_CMAP_BLUE_LO->read(f);
    blue_hi_ = res->RES_CMAP_BLUE_HI->read(f);
    strain_ = res->RES_RF_DISPLAY->read(f) == strain_display_mode;
    res->RES_RF_STRAIN_CMAP->read(f);
    res->RES_RF_STRAIN_CMAP_INVERT->read(f);
    if (strain_)
        InstallStrainColormap();
    else
        install_from_flags();
}

globcmap_t::~globcmap_t() = default;  // the handler unhooks itself from the resources

void globcmap_t::change_globcmap()
{
    if (!res)
        return;
    bool change = false;
    const auto copy = [&change](long_res_t* r, long& field, bool counts) {
        if (!r->changed())
            return;
        field = r->value();
        change = change || counts;
    };
    // Thresholds only matter to the map that is showing them.
    const bool binary_now = res->RES_CMAP_BINARY->value();
    const bool flow_thresholds_show = binary_now && res->RES_BUF_DOPPLER->value();
    copy(res->RES_CMAP_GREY_LO, grey_lo_, binary_now);
    copy(res->RES_CMAP_GREY_HI, grey_hi_, binary_now);
    copy(res->RES_CMAP_GREY_ANTI, grey_anti_, binary_now);
    copy(res->RES_CMAP_RED_LO, red_lo_, flow_thresholds_show);
    copy(res->RES_CMAP_RED_HI, red_hi_, flow_thresholds_show);
    copy(res->RES_CMAP_BLUE_LO, blue_lo_, flow_thresholds_show);
    copy(res->RES_CMAP_BLUE_HI, blue_hi_, flow_thresholds_show);
    if (res->RES_BUF_DOPPLER->changed()) {
        doppler_ = res->RES_BUF_DOPPLER->value();
        change = true;
    }
    if (res->RES_CMAP_BINARY->changed()) {
        binary_ = binary_now;
        change = true;
    }

    const bool rf_changed = res->RES_RF_DISPLAY->changed() || res->RES_RF_STRAIN_CMAP->changed() ||
                            res->RES_RF_STRAIN_CMAP_INVERT->changed();
    if (!rf_changed) {
        if (!change)
            return;
        if (strain_)
            InstallStrainColormap();
        else
            install_from_flags();
    } else {
        strain_ = res->RES_RF_DISPLAY->value() == strain_display_mode;
        if (strain_)
            InstallStrainColormap();
        else
            install_from_flags();
    }
    notify_changed();
}

void globcmap_t::install_from_flags()
{
    if (!doppler_ && !binary_)
        InstallGreyColormap();
    else if (!doppler_)
        InstallGreyBinaryColormap(grey_lo_, grey_hi_, grey_anti_);
    else if (!binary_)
        InstallDopplerColormap();
    else
        InstallDopplerBinaryColormap(grey_lo_, grey_hi_, red_lo_ + 192, red_hi_ + 192, blue_lo_ + 128,
                                     blue_hi_ + 128);
}

void globcmap_t::notify_changed()
{
    // Inside a pass this queues the views behind the running procedures.
    res->RES_CMAP_CHANGED->write();
}

void globcmap_t::InstallGreyColormap()
{
    fill_grey_cmap(maps_);
    load_uchar_maps();
}

void globcmap_t::InstallDopplerColormap()
{
    fill_doppler_cmap(maps_);
    load_uchar_maps();
}

void globcmap_t::InstallStrainColormap()
{
    const long selection = res ? res->RES_RF_STRAIN_CMAP->value() : 4;
    const bool invert = res && res->RES_RF_STRAIN_CMAP_INVERT->value();
    fill_strain_cmap(maps_, selection, invert);
    load_uchar_maps();
}

void globcmap_t::InstallGreyBinaryColormap(long lo, long hi, long anti)
{
    fill_grey_binary_cmap(maps_, lo, hi, anti);
    load_uchar_maps();
}

void globcmap_t::InstallDopplerBinaryColormap(long grey_lo, long grey_hi, long red_lo, long red_hi, long blue_lo,
                                              long blue_hi)
{
    fill_doppler_binary_cmap(maps_, grey_lo, grey_hi, red_lo, red_hi, blue_lo, blue_hi);
    load_uchar_maps();
}

void globcmap_t::load_uchar_maps()
{
    bytes_ = make_byte_cmap(maps_);
}

float globcmap_t::index_to_red(int i) const
{
    return maps_.red[entry(i)];
}

float globcmap_t::index_to_green(int i) const
{
    return maps_.green[entry(i)];
}

float globcmap_t::index_to_blue(int i) const
{
    return maps_.blue[entry(i)];
}

void globcmap_t::main_glIndexi(int i) const
{
    if (context_)
        context_->set_colour(index_to_red(i), index_to_green(i), index_to_blue(i));
}

void globcmap_t::over_glIndexi(int k) const
{
    switch (k) {
    case 1: set_over_rgb(1.0f, 0.0f, 0.0f); break;
    case 2: set_over_rgb(0.0f, 1.0f, 0.0f); break;
    case 3: set_over_rgb(0.0f, 1.0f, 1.0f); break;
    default: break;
    }
}

void globcmap_t::set_over_rgb(float r, float g, float b) const
{
    if (context_)
        context_->set_colour(r, g, b);
}

void globcmap_t::apply_globcmap_to_context() const
{
    if (context_)
        context_->load_pixel_maps(maps_.red.data(), maps_.green.data(), maps_.blue.data(), maps_.alpha);
}

bool globcmap_t::fast_map_to_rgb(const std::uint8_t* src, int src_w, int src_h, std::uint8_t* dst, int dst_w,
                                 int dst_h, int x0, int y0, bool grey_only) const
{
    return ::fast_map_to_rgb(bytes_, src, src_w, src_h, dst, dst_w, dst_h, x0, y0, grey_only);
}

bool globcmap_t::part_map_to_rgb(const std::uint8_t* src, int src_w, int src_h, std::uint8_t* dst, int n_x, int n_y,
                                 int step) const
{
    return ::part_map_to_rgb(bytes_, src, src_w, src_h, dst, n_x, n_y, step);
}

bool globcmap_t::image_to_rgba(const std::uint8_t* src, int w, int h, std::uint8_t* dst, int tex_w, int tex_h,
                               float r, float g, float b, float alpha, bool flip, bool zero_transparent) const
{
    return ::image_to_rgba(bytes_, src, w, h, dst, tex_w, tex_h, r, g, b, alpha, flip, zero_transparent);
}

resample_setup_t globcmap_t::resample_setup() const
{
    resample_setup_t setup;
    setup.maps = &bytes_;
    setup.doppler = doppler_;
    if (res) {
        setup.strain = res->RES_RF_DISPLAY->value() == strain_display_mode;
        setup.display_pixels = res->RES_DISPLAY_PIXELS->value();
        if (!parse_background_colour(res->RES_BACKGROUND->value(), setup.background))
            wxLogDebug("Background colour '%s' is not #RRGGBB; using grey.", res->RES_BACKGROUND->value());
    }
    return setup;
}

bool globcmap_t::interp_to_rgb(const std::uint8_t* src, int src_w, int src_h, std::uint8_t* dst, int dst_w,
                               int dst_h, double x0, double y0, double zoom_x, double zoom_y, bool zero_is_background,
                               bool grey_only) const
{
    return ::interp_to_rgb(resample_setup(), src, src_w, src_h, dst, dst_w, dst_h, x0, y0, zoom_x, zoom_y,
                           zero_is_background, grey_only);
}

void globcmap_t::set_rendering_speed(int fast_a, int fast_b)
{
    rendering_flags_ = {fast_a, fast_b};
}

void globcmap_t::set_dynamic_resolutions()
{
    const std::vector<reslice_load_t> planes = reslice_source_ ? reslice_source_() : std::vector<reslice_load_t>{};
    const double xscale = res ? res->RES_XSCALE->value() : 0.01;
    const int d = render_divisor(planes, xscale, rendering_flags_[0] != 0);
    reslice_x_ = reslice_y_ = manifold_x_ = manifold_y_ = d;
}

bool globcmap_t::override_dynamic_resolutions(int rx, int ry)
{
    // Callers divide by these: keep them in the range the dynamic choice uses.
    rx = std::clamp(rx, 1, max_render_divisor);
    ry = std::clamp(ry, 1, max_render_divisor);
    reslice_x_ = manifold_x_ = rx;
    reslice_y_ = manifold_y_ = ry;
    return rx != 1 || ry != 1;
}

void globcmap_t::get_reslice_resolutions(int& rx, int& ry) const
{
    rx = reslice_x_;
    ry = reslice_y_;
}

void globcmap_t::get_manifold_resolutions(int& mx, int& my) const
{
    mx = manifold_x_;
    my = manifold_y_;
}
