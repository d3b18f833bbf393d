// The reslice windows published through RES_RESLICE: what the rendering
// divisor and voxel export see as the windows open, close and change.
#include <gtest/gtest.h>

#include "display/globcmap.h"
#include "reconstruction/reslice_info.h"
#include "reconstruction/reslice_internals.h"
#include "resources/resource_table.h"
#include "support/session_fixture.h"

namespace {

struct listener_t {
    int calls = 0;
    void run() { ++calls; }
};

class ResliceInfo : public SessionTest {
protected:
    static reslice_internals window(int w, long size, double half_thickness)
    {
        reslice_internals r(w);
        reslice_settings s;
        s.width = s.height = size;
        s.slice_half_thickness = half_thickness;
        s.linear = false;
        r.set_settings(s);
        return r;
    }
    static int divisor(globcmap_t& map)
    {
        map.set_dynamic_resolutions();
        int rx = 0, ry = 0;
        map.get_reslice_resolutions(rx, ry);
        EXPECT_EQ(rx, ry);
        return rx;
    }
};

// Each 1024 x 1024 window with a 0.1 cm half slab at 0.01 cm pixels is
// 1024^2 x 21 / 250000 = 88.1 units of work.
TEST_F(ResliceInfo, RenderDivisorFollowsTheOpenWindows)
{
    res->RES_XSCALE->write(0.01);
    globcmap_t map;
    use_published_reslice_loads(map);
    listener_t listener;
    pmf_functor<listener_t> heard(&listener, &listener_t::run);
    res->RES_RESLICE->read(&heard);

    reslice_internals a = window(0, 1024, 0.1), b = window(1, 1024, 0.1);
    EXPECT_EQ(divisor(map), 1) << "reslices that no view shows cost nothing";

    open_reslice_window(a);
    open_reslice_window(b);
    EXPECT_EQ(divisor(map), 5);  // cube root of 176.2
    EXPECT_EQ(listener.calls, 2);

    // A thin slab: 88.1 + 4.2 units. The record is updated in place and
    // announced again, so its listeners still run.
    reslice_settings s = b.settings();
    s.slice_half_thickness = 0.0;
    b.set_settings(s);
    reslice_settings_changed(b);
    EXPECT_EQ(listener.calls, 3);
    EXPECT_EQ(divisor(map), 4);

    close_reslice_window(&a, 0);
    EXPECT_EQ(divisor(map), 1);  // 4.2 units
    EXPECT_EQ(listener.calls, 4);
    // A reslice that is not the open one changes nothing.
    reslice_internals stray = window(1, 1024, 0.5);
    reslice_settings_changed(stray);
    EXPECT_EQ(published_reslice_info()->windows[1].settings.slice_half_thickness, 0.0);
    close_reslice_window(&b, 1);
    EXPECT_EQ(divisor(map), 1);
    for (int w = 0; w < reslice_window_count; ++w)
        EXPECT_FALSE(published_reslice_info()->open(w));
}

// Export takes the isocentre window, else the first open of 0, 1, 2; a
// window stays open while any view shows it.
TEST_F(ResliceInfo, ExportViewAndSharedWindows)
{
    reslice_internals centre(0), left(1), right(2), iso(isocentre_reslice_window);
    EXPECT_EQ(published_reslice_info(), nullptr);
    open_reslice_window(right);
    open_reslice_window(left);
    EXPECT_EQ(published_reslice_info()->export_view(), &left);
    open_reslice_window(centre);
    EXPECT_EQ(published_reslice_info()->export_view(), &centre);
    open_reslice_window(iso);
    EXPECT_EQ(published_reslice_info()->export_view(), &iso);

    open_reslice_window(centre);  // a second view of the same reslice
    close_reslice_window(&centre, 0);
    EXPECT_TRUE(published_reslice_info()->open(0));
    close_reslice_window(&centre, 0);
    EXPECT_FALSE(published_reslice_info()->open(0));

    forget_reslice_window(&iso, isocentre_reslice_window);
    EXPECT_EQ(published_reslice_info()->export_view(), &left);
}

}  // namespace
