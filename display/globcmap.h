// The one colour map every view and export shares. Images are 8-bit codes
// whose meaning depends on the display mode (grey, Doppler, strain); this
// object keeps the 256-entry map for the current mode, rebuilds it when a
// setting it depends on changes, and announces that through
// RES_CMAP_CHANGED so that every view redraws.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <wx/string.h>

#include "common/functor.h"
#include "display/cmap_fill.h"
#include "display/code_space.h"
#include "display/render_resolution.h"
#include "display/resample.h"

// Where drawing colours and pixel maps go. The views implement it with the
// current OpenGL context; the colour map itself never touches a display.
class colour_context_t {
public:
    virtual void set_colour(float r, float g, float b) = 0;
    // Three 256-entry index-to-colour maps and the single alpha entry.
    virtual void load_pixel_maps(const float* red, const float* green, const float* blue, float alpha) = 0;

protected:
    ~colour_context_t() = default;
};

class globcmap_t {
public:
    // Needs the resource table `res`: reads the settings, registers
    // change_globcmap on them and installs the map for the current mode.
    globcmap_t();
    ~globcmap_t();
    globcmap_t(const globcmap_t&) = delete;
    globcmap_t& operator=(const globcmap_t&) = delete;

    void change_globcmap();

    void InstallGreyColormap();
    void InstallDopplerColormap();
    void InstallStrainColormap();
    void InstallGreyBinaryColormap(long lo, long hi, long anti);
    void InstallDopplerBinaryColormap(long grey_lo, long grey_hi, long red_lo, long red_hi, long blue_lo,
                                      long blue_hi);
    void load_uchar_maps();

    bool doppler() const { return doppler_; }
    bool binary() const { return binary_; }
    bool strain() const { return strain_; }

    // Entries outside 0..255 are clamped to the nearest end.
    float index_to_red(int i) const;
    float index_to_green(int i) const;
    float index_to_blue(int i) const;
    const float_cmap_t& float_maps() const { return maps_; }
    const byte_cmap_t& byte_maps() const { return bytes_; }

    // Drawing colours; without a context these do nothing.
    void set_colour_context(colour_context_t* context) { context_ = context; }
    void main_glIndexi(int i) const;
    void over_glIndexi(int k) const;  // 1 red, 2 green, 3 cyan, others unchanged
    void set_over_rgb(float r, float g, float b) const;
    void apply_globcmap_to_context() const;

    // Conversions through the current byte tables (see rgb_convert.h, resample.h).
    bool fast_map_to_rgb(const std::uint8_t* src, int src_w, int src_h, std::uint8_t* dst, int dst_w, int dst_h,
                         int x0, int y0, bool grey_only) const;
    bool part_map_to_rgb(const std::uint8_t* src, int src_w, int src_h, std::uint8_t* dst, int n_x, int n_y,
                         int step) const;
    bool image_to_rgba(const std::uint8_t* src, int w, int h, std::uint8_t* dst, int tex_w, int tex_h, float r,
                       float g, float b, float alpha, bool flip, bool zero_transparent) const;
    // Takes the display settings (pixel display, strain display, background colour) from the resources.
    bool interp_to_rgb(const std::uint8_t* src, int src_w, int src_h, std::uint8_t* dst, int dst_w, int dst_h,
                       double x0, double y0, double zoom_x, double zoom_y, bool zero_is_background,
                       bool grey_only) const;
    resample_setup_t resample_setup() const;

    // Rendering speed during interaction.
    void set_rendering_speed(int fast_a, int fast_b);
    int rendering_flag(int which) const { return rendering_flags_[which == 0 ? 0 : 1]; }
    // The reslice windows' sizes come from whoever owns them.
    using reslice_load_source_t = std::function<std::vector<reslice_load_t>()>;
    void set_reslice_load_source(reslice_load_source_t source) { reslice_source_ = std::move(source); }
    void set_dynamic_resolutions();
    bool override_dynamic_resolutions(int rx, int ry);
    void get_reslice_resolutions(int& rx, int& ry) const;
    void get_manifold_resolutions(int& mx, int& my) const;

private:
    void install_from_flags();
    void notify_changed();

    bool doppler_ = false, binary_ = false, strain_ = false;
    long grey_lo_ = 0, grey_hi_ = 0, grey_anti_ = 0, red_lo_ = 0, red_hi_ = 0, blue_lo_ = 0, blue_hi_ = 0;
    float_cmap_t maps_;
    byte_cmap_t bytes_;
    std::array<int, 2> rendering_flags_{1, 1};
    int reslice_x_ = 1, reslice_y_ = 1, manifold_x_ = 1, manifold_y_ = 1;
    colour_context_t* context_ = nullptr;  // not owned
    reslice_load_source_t reslice_source_;
    std::unique_ptr<pmf_functor<globcmap_t>> change_handler_;
};

// The program's colour map, set at start-up once the resource table exists.
extern globcmap_t* colourmap;

// "#RRGGBB" to bytes; false (and grey 50) for anything else.
bool parse_background_colour(const wxString& text, std::array<std::uint8_t, 3>& rgb);
