#include "reslice_info.h"

#include <memory>

#include "display/globcmap.h"
#include "reslice_internals.h"
#include "resources/resource_table.h"

namespace {

bool valid_window(int window)
{
    return window >= 0 && window < reslice_window_count;
}

// Changes the record through `edit` and announces it. The first change
// installs the record; later ones keep the same pointer, which the resource
// does not count as a new value, so its listeners are queued directly (they
// run, but RES_RESLICE->changed() stays false for them).
template <typename Edit>
void publish(Edit edit)
{
    if (!res)
        return;
    const std::shared_ptr<reslice_info>& current = res->RES_RESLICE->value();
    if (!current) {
        auto made = std::make_shared<reslice_info>();
        if (edit(*made))
            res->RES_RESLICE->write(made);
        return;
    }
    if (!edit(*current))
        return;
    res->RES_RESLICE->assemble_worry_list();
    base_res_t::make_pending_writes_happen();
}

}  // namespace

bool reslice_info::open(int window) const
{
    return valid_window(window) && windows[static_cast<std::size_t>(window)].active != nullptr;
}

std::vector<reslice_load_t> reslice_info::loads() const
{
    std::vector<reslice_load_t> out;
    for (const window_t& w : windows)
        if (w.active)
            out.push_back({true, static_cast<long>(w.settings.width), static_cast<long>(w.settings.height),
                           w.settings.slice_half_thickness});
    return out;
}

reslice_internals* reslice_info::export_view() const
{
    for (int w : {isocentre_reslice_window, 0, 1, 2})
        if (reslice_internals* r = windows[static_cast<std::size_t>(w)].active)
            return r;
    return nullptr;
}

const reslice_info* published_reslice_info()
{
    return res ? res->RES_RESLICE->value().get() : nullptr;
}

void open_reslice_window(reslice_internals& reslice)
{
    const int window = reslice.window();
    if (!valid_window(window))
        return;
    publish([&](reslice_info& info) {
        reslice_info::window_t& w = info.windows[static_cast<std::size_t>(window)];
        w.views = w.active == &reslice ? w.views + 1 : 1;
        w.active = &reslice;
        w.settings = reslice.settings();
        return true;
    });
}

namespace {

// One view (or, for a reslice going away, every view) stops showing it.
void release_reslice_window(const reslice_internals* reslice, int window, bool every_view)
{
    if (!reslice || !valid_window(window))
        return;
    publish([&](reslice_info& info) {
        reslice_info::window_t& w = info.windows[static_cast<std::size_t>(window)];
        if (w.active != reslice)
            return false;
        if (every_view || --w.views <= 0) {
            w.active = nullptr;
            w.views = 0;
        }
        return true;
    });
}

}  // namespace

void close_reslice_window(const reslice_internals* reslice, int window)
{
    release_reslice_window(reslice, window, false);
}

void forget_reslice_window(const reslice_internals* reslice, int window)
{
    release_reslice_window(reslice, window, true);
}

void reslice_settings_changed(const reslice_internals& reslice)
{
    const int window = reslice.window();
    if (!valid_window(window))
        return;
    publish([&](reslice_info& info) {
        reslice_info::window_t& w = info.windows[static_cast<std::size_t>(window)];
        if (w.active != &reslice)
            return false;
        w.settings = reslice.settings();
        return true;
    });
}

std::vector<reslice_load_t> published_reslice_loads()
{
    const reslice_info* info = published_reslice_info();
    return info ? info->loads() : std::vector<reslice_load_t>{};
}

void use_published_reslice_loads(globcmap_t& map)
{
    map.set_reslice_load_source(&published_reslice_loads);
}
