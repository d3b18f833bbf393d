#include "reslice_windows.h"

#include <algorithm>

#include <wx/image.h>

#include "common/dynabuf.h"
#include "display/code_pictures.h"
#include "reslice_default.h"
#include "reslice_frames.h"
#include "resources/image_file.h"
#include "resources/resource_table.h"

namespace {

bool valid_window(int window)
{
    return window >= 0 && window < reslice_window_count;
}

reslice_windows_t*& installed()
{
    static reslice_windows_t* windows = nullptr;
    return windows;
}

}  // namespace

reslice_windows_t::~reslice_windows_t()
{
    for (const reslice_internals& r : reslices)
        forget_reslice_window(&r, r.window());
}

bool reslice_windows_t::place(int window)
{
    if (!valid_window(window) || !res || !bufp)
        return false;
    const reslice_source source = source_from_session();
    reslice_internals& r = reslices[static_cast<std::size_t>(window)];
    r.set_pixel_size(source.pixel_size);
    bool ok = false;
    if (window == 0) {
        ok = r.set_reslice_for_min_voxels(source);
    } else if (window >= sweep_reslice_window) {
        reslice_settings s = r.settings();
        ok = default_plane_settings(window, source, default_plane_inputs_from_session(), &s);
        if (ok)
            r.set_settings(s);
    } else {
        const long current = static_cast<long>(res->RES_BUF_CURRENT_FRAME->value());
        reslice_source one;
        if (current >= 0 && current < bufp->frames() &&
            add_frame(&one, bufp->imagecp(current), bufp->positioncp(current), calibration_from_session())) {
            reslice_settings s = r.settings();
            ok = default_plane_settings(window, one.frames.front(), source.sx, source.sy, &s);
            if (ok)
                r.set_settings(s);
        }
    }
    if (ok) {
        reslice_settings s = r.settings();
        s.bscan_half_thickness = suggested_bscan_half_thickness(source);
        r.set_settings(s);
        placed_at[static_cast<std::size_t>(window)] = s;
    }
    placed[static_cast<std::size_t>(window)] = ok;
    changed(window);
    return ok;
}

bool reslice_windows_t::ensure_placed(int window)
{
    return valid_window(window) && (placed[static_cast<std::size_t>(window)] || place(window));
}

void reslice_windows_t::changed(int window)
{
    if (!valid_window(window))
        return;
    reslice_settings_changed(reslices[static_cast<std::size_t>(window)]);
    announce_reslice_built(window);
}

void announce_reslice_built(int window)
{
    if (!res || !valid_window(window))
        return;
    flag_res_t* const flags[] = {res->RES_REDISPLAY_RESLICE0, res->RES_REDISPLAY_RESLICE1, res->RES_REDISPLAY_RESLICE2,
                                 res->RES_REDISPLAY_RESLICE3, res->RES_REDISPLAY_RESLICE4};
    flags[window]->write();
}

reslice_windows_t::state_t reslice_windows_t::state() const
{
    state_t s;
    s.placed = placed;
    s.placed_at = placed_at;
    s.zoom = zoom;
    for (std::size_t w = 0; w < reslices.size(); ++w)
        s.settings[w] = reslices[w].settings();
    return s;
}

void reslice_windows_t::restore(const state_t& s)
{
    placed = s.placed;
    placed_at = s.placed_at;
    zoom = s.zoom;
    for (std::size_t w = 0; w < reslices.size(); ++w) {
        reslices[w].set_settings(s.settings[w]);
        changed(static_cast<int>(w));
    }
}

reslice_windows_t& session_reslice_windows()
{
    if (installed())
        return *installed();
    static reslice_windows_t own;
    return own;
}

void install_reslice_windows(reslice_windows_t* windows)
{
    installed() = windows;
}

bool save_reslice_image(const reslice_internals& reslice, const wxString& path)
{
    // The reslice's y axis points up, so its last row is the picture's first.
    return save_image_file(codes_picture(reslice.image().data(), reslice.width(), reslice.height(), true), path);
}
