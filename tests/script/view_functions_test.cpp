// The view functions as scripts call them, headless, on a small demo sweep:
// what SAVE_RESLICE writes after a plane is turned or moved equals a reslice
// built directly on the plane worked out by hand; the 3D camera and the
// review follow their functions; every file of a cohort starts from the
// views the run found, and the run leaves them so.
#include <gtest/gtest.h>
#include <wx/image.h>

#include "common/dynabuf.h"
#include "common/vertex_math.h"
#include "demo/demo_recording.h"
#include "display/code_pictures.h"
#include "display/view3d_camera.h"
#include "reconstruction/reslice_default.h"
#include "reconstruction/reslice_windows.h"
#include "reconstruction/view_script_functions.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "script/file_functions.h"
#include "script_test_support.h"

namespace {

void expect_near(const vertex3d& a, const vertex3d& b, double tolerance = 1e-9)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

class ViewFunctions : public SessionTest {
protected:
    recording_sink_t sink;
    script_function_table_t table;
    wxString demo;
    view3d_camera_t camera_before;

    void SetUp() override
    {
        SessionTest::SetUp();
        if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
            wxInitAllImageHandlers();
        register_file_functions(table);
        register_view_functions(table, [] { return source_from_session(); });
        session_reslice_windows().placed = {};
        camera_before = session_view3d_camera();
        ASSERT_TRUE(write_demo_recording(path("demo"), 12, 64, 48));
        demo = path("demo/") + demo_recording_name;
        ASSERT_TRUE(recording_io->try_read_kestrane_file(demo));
    }
    void TearDown() override
    {
        session_view3d_camera() = camera_before;
        session_reslice_windows().placed = {};
        SessionTest::TearDown();
    }
    bool run(const wxString& text)
    {
        sink.lines.clear();
        Script script(sink, table);
        return script.Run(text, path("run.txt"));
    }
    // Window w as its page places it, then built on `settings` (or as placed).
    static std::vector<std::uint8_t> direct_rgb(int w, const std::function<void(reslice_settings&)>& edit)
    {
        reslice_windows_t fresh;
        EXPECT_TRUE(fresh.place(w));
        reslice_settings s = fresh.reslices[static_cast<std::size_t>(w)].settings();
        edit(s);
        const reslice_source source = source_from_session();
        reslice_internals r(w);
        r.set_settings(s);
        r.set_pixel_size(source.pixel_size);
        EXPECT_TRUE(r.build_reslice(source));
        const wxImage picture = codes_picture(r.image().data(), r.width(), r.height(), true);
        return {picture.GetData(), picture.GetData() + 3 * r.width() * r.height()};
    }
    static reslice_settings placed(int w)
    {
        reslice_windows_t fresh;
        EXPECT_TRUE(fresh.place(w));
        return fresh.reslices[static_cast<std::size_t>(w)].settings();
    }
    std::vector<std::uint8_t> saved_rgb(const wxString& name)
    {
        wxImage picture;
        EXPECT_TRUE(picture.LoadFile(path("demo/" + name))) << name;
        if (!picture.IsOk())
            return {};
        return {picture.GetData(), picture.GetData() + 3 * picture.GetWidth() * picture.GetHeight()};
    }
};

// Turns and moves of the main plane, each against the plane worked out by
// hand: a quarter turn about the up axis puts the normal on the image x axis
// (u x n), a quarter twist about the normal puts up on -x; moves go along the
// normal in mm, an offset counts from where the plane was placed.
TEST_F(ViewFunctions, ReslicesSavedAfterTurnsAndMovesMatchTheirPlanes)
{
    const reslice_settings start = placed(0);
    const reslice_plane p(start, 0.01);
    ASSERT_NE(p.x_axis().x * p.x_axis().x + p.x_axis().y * p.x_axis().y + p.x_axis().z * p.x_axis().z, 0.0);

    ASSERT_TRUE(
        run("func SAVE_RESLICE as_placed.png\nfunc ROTATE_RESLICE 90\nfunc SAVE_RESLICE turned.png\n"
            "func ROTATE_RESLICE -90\nfunc ROTATE_RESLICE 45\nfunc KSC_ROTATE_RESLICE 45\n"
            "func SAVE_RESLICE eighths.png\nfunc ROTATE_RESLICE -90\nfunc TWIST_RESLICE 90\n"
            "func SAVE_RESLICE twisted.png\nfunc TWIST_RESLICE -90\nfunc MOVE_RESLICE 3\n"
            "func SAVE_RESLICE moved.png\nfunc OFFSET_RESLICE 1\nfunc SAVE_RESLICE offset.png"))
        << sink.all();
    const auto as_placed = direct_rgb(0, [](reslice_settings&) {});
    EXPECT_EQ(saved_rgb("as_placed.png"), as_placed);
    const auto turned = direct_rgb(0, [&](reslice_settings& s) {
        s.normal = p.x_axis();
        s.up = p.centre() + p.up_axis();
    });
    EXPECT_EQ(saved_rgb("turned.png"), turned);
    EXPECT_NE(turned, as_placed);  // the turn shows
    // Two eighths make a quarter; a twist turns the image in its plane.
    EXPECT_EQ(saved_rgb("eighths.png"), turned);
    EXPECT_EQ(saved_rgb("twisted.png"), direct_rgb(0, [&](reslice_settings& s) {
                  s.normal = p.normal();
                  s.up = p.centre() - p.x_axis();
              }));
    // 3 mm along the normal, then 1 mm from where it was placed.
    const auto shifted = [&](double cm) {
        return [&, cm](reslice_settings& s) {
            s.centre = p.centre() + cm * p.normal();
            s.up = s.centre + p.up_axis();
        };
    };
    EXPECT_EQ(saved_rgb("moved.png"), direct_rgb(0, shifted(0.3)));
    EXPECT_EQ(saved_rgb("offset.png"), direct_rgb(0, shifted(0.1)));
    EXPECT_NE(saved_rgb("moved.png"), saved_rgb("offset.png"));
}

// The _3D turns go about the 3D view's axes: with the view's up along the
// plane's up, ROTATE_RESLICE_3D is ROTATE_RESLICE; looking along the normal,
// TWIST_RESLICE_3D is TWIST_RESLICE.
TEST_F(ViewFunctions, ThreeDTurnsUseTheViewsAxes)
{
    const reslice_plane p(placed(0), 0.01);
    const vertex3d n = p.normal(), u = p.up_axis();
    const wxString orient =
        wxString::Format("func ORIENT_3D %.17g %.17g %.17g %.17g %.17g %.17g\n", n.x, n.y, n.z, u.x, u.y, u.z);
    ASSERT_TRUE(run(orient + "func ROTATE_RESLICE_3D 30\nfunc SAVE_RESLICE a.png\nfunc ROTATE_RESLICE -30\n"
                             "func TWIST_RESLICE_3D 20\nfunc SAVE_RESLICE b.png"))
        << sink.all();
    session_reslice_windows().placed = {};  // from where it is placed again
    ASSERT_TRUE(
        run("func ROTATE_RESLICE 30\nfunc SAVE_RESLICE c.png\nfunc ROTATE_RESLICE -30\n"
            "func TWIST_RESLICE 20\nfunc SAVE_RESLICE d.png"))
        << sink.all();
    EXPECT_EQ(saved_rgb("a.png"), saved_rgb("c.png"));
    EXPECT_EQ(saved_rgb("b.png"), saved_rgb("d.png"));
    EXPECT_NE(saved_rgb("a.png"), saved_rgb("b.png"));
}

// The orthogonal views are placed across the frame the review shows.
TEST_F(ViewFunctions, OrthogonalViewsFollowTheReviewsFrame)
{
    ASSERT_TRUE(
        run("func OFFSET_REVIEW 7\nfunc SAVE_ORTHO_LEFT left.png\nfunc SAVE_ORTHO_RIGHT right.png\n"
            "func SAVE_REVIEW review.bmp\nfunc ZOOM_ORTHO_LEFT 2.5\nfunc ZOOM_REVIEW 4"))
        << sink.all();
    EXPECT_EQ(res->RES_BUF_CURRENT_FRAME->value(), 7);
    EXPECT_EQ(saved_rgb("left.png"), direct_rgb(1, [](reslice_settings&) {}));
    EXPECT_EQ(saved_rgb("right.png"), direct_rgb(2, [](reslice_settings&) {}));
    const reslice_settings left = placed(1);
    const reslice_plane across(left, 0.01);
    reslice_source seven;
    ASSERT_TRUE(add_frame(&seven, bufp->imagecp(7), bufp->positioncp(7), calibration_from_session()));
    // Through the middle of frame 7, across its lateral axis.
    const matrix16d& m = seven.frames.front().image_to_world;
    EXPECT_NEAR(dot(across.normal(), column(m, 0)) * dot(across.normal(), column(m, 0)), 1.0, 1e-9);

    // The review's picture is frame 7's codes (grey without a colour map), top row first.
    const cip_t frame = bufp->imagecp(7);
    const std::vector<std::uint8_t> review = saved_rgb("review.bmp");
    ASSERT_EQ(review.size(), 3u * static_cast<std::size_t>(frame.pixel_count()));
    for (std::size_t i = 0; i < frame.pixel_count(); i += 97)
        EXPECT_EQ(review[3 * i], frame.pixels()[i]) << i;
}

// The camera functions against their geometry, in mm and degrees.
TEST_F(ViewFunctions, CameraOfTheThreeDView)
{
    // Up is made square to the line of sight; a quarter rotate about up, then a quarter twist about the line of sight.
    ASSERT_TRUE(run("func ORIENT_3D 0 0 -2 0 3 1\nfunc ROTATE_3D 90\nfunc TWIST_3D 90\nfunc ZOOM_3D 2")) << sink.all();
    const view3d_camera_t& c = session_view3d_camera();
    expect_near(c.forward, {-1, 0, 0});
    expect_near(c.up, {0, 0, -1});
    expect_near(c.right(), cross(c.forward, c.up));
    EXPECT_EQ(res->RES_OUTLINE_ZOOM->value(), 2.0);
    view3d_camera_t parallel = c;
    EXPECT_FALSE(parallel.orient({1, 1, 0}, {2, 2, 0}));  // nothing changes
    expect_near(parallel.forward, {-1, 0, 0});

    // The presets' turns give the screen axes that GL's rotations would.
    const view3d_camera_t side = view3d_camera_t::from_turns(-90.0, -90.0);
    expect_near(side.right(), {0, 1, 0});
    expect_near(side.forward, {-1, 0, 0});
    expect_near(side.up, {0, 0, 1});

    // Moves go along the line of sight from the point located (mm), or from the middle of the frames.
    ASSERT_TRUE(run("func ORIENT_3D 1 0 0 0 0 1\nfunc LOCATE_3D 10 20 30\nfunc MOVE_3D -5")) << sink.all();
    ASSERT_TRUE(c.target);
    expect_near(*c.target, {0.5, 2.0, 3.0});
    session_view3d_camera().target.reset();
    ASSERT_TRUE(run("func ORIENT_3D 0 1 0 0 0 1\nfunc MOVE_3D 10")) << sink.all();
    vertex3d lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
    const reslice_source frames = source_from_session();
    for (const reslice_frame& f : frames.frames)
        for (double u : {0.0, 1.0})
            for (double v : {0.0, 1.0}) {
                const vertex3d q = column(f.image_to_world, 3) +
                                   (u * f.image.width() * frames.sx) * column(f.image_to_world, 0) +
                                   (v * f.image.height() * frames.sy) * column(f.image_to_world, 1);
                lo = {std::min(lo.x, q.x), std::min(lo.y, q.y), std::min(lo.z, q.z)};
                hi = {std::max(hi.x, q.x), std::max(hi.y, q.y), std::max(hi.z, q.z)};
            }
    ASSERT_TRUE(c.target);
    expect_near(*c.target, 0.5 * (lo + hi) + vertex3d{0.0, 1.0, 0.0});
}

// Whatever file a cohort run is on, its views start as the run found them:
// the second of two copies is turned once, not twice.
TEST_F(ViewFunctions, EachFileStartsFromTheRunsViews)
{
    ASSERT_TRUE(wxFileName::Mkdir(path("cohort")));
    ASSERT_TRUE(recording_io->save_as(path("cohort/a.ks")));
    ASSERT_TRUE(recording_io->save_as(path("cohort/b.ks")));
    const reslice_plane p(placed(0), 0.01);
    const auto turned = direct_rgb(0, [&](reslice_settings& s) {
        s.normal = p.x_axis();
        s.up = p.centre() + p.up_axis();
    });
    recording_io->new_recording();
    ASSERT_TRUE(
        run("open cohort\nfunc ROTATE_RESLICE 90\nfunc ZOOM_RESLICE 3\nfunc ROTATE_3D 40\n"
            "func SAVE_RESLICE view.png\nwrite x"))
        << sink.all();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("cohort/b.ks")));
    wxImage picture;
    ASSERT_TRUE(picture.LoadFile(path("cohort/view.png")));
    EXPECT_EQ(std::vector<std::uint8_t>(picture.GetData(), picture.GetData() + turned.size()), turned);
    EXPECT_EQ(session_reslice_windows().zoom[0], 1.0);
    expect_near(session_view3d_camera().forward, camera_before.forward);
}

// Bad words, impossible views and unwritable files fail their line.
TEST_F(ViewFunctions, FailuresNameWhy)
{
    struct case_t {
        const char* line;
        const char* why;
    } const cases[] = {
        {"func ROTATE_RESLICE ten", "'ten' is not a number"},
        {"func MOVE_ORTHO_RIGHT nan", "'nan' is not a number"},
        {"func ORIENT_3D 0 0 1 0 0 5", "two vectors that are not parallel"},
        {"func ORIENT_3D 0 0 0 0 1 0", "two vectors that are not parallel"},
        {"func ZOOM_3D 100", "the zoom must be a number from 0.15 to 6"},
        {"func ZOOM_RESLICE 0", "the zoom must be a number from 0.1 to 20"},
        {"func ZOOM_REVIEW -1", "the zoom must be a number from 0.05 to 50"},
        {"func OFFSET_REVIEW 12", "the frame must be a whole number from 0 to 11"},
        {"func OFFSET_REVIEW 1.5", "the frame must be a whole number from 0 to 11"},
        {"func SAVE_RESLICE view.xyz", "could not write"},
        {"func SAVE_REVIEW \"no such folder/view.png\"", "could not write"},
    };
    for (const case_t& c : cases) {
        EXPECT_FALSE(run(wxString("write x\n") + c.line)) << c.line;
        EXPECT_TRUE(sink.has_containing("In line 2 of Script. ERROR: Function ")) << c.line << "\n" << sink.all();
        EXPECT_TRUE(sink.has_containing(c.why)) << c.line << "\n" << sink.all();
    }
    recording_io->new_recording();
    for (const char* line : {"func SAVE_RESLICE a.png", "func TWIST_RESLICE 1", "func SAVE_REVIEW a.png"}) {
        EXPECT_FALSE(run(wxString("write x\n") + line)) << line;
        EXPECT_TRUE(sink.has_containing("the recording holds no frames")) << line << "\n" << sink.all();
    }
    EXPECT_FALSE(run("write x\nfunc MOVE_3D 1"));
    EXPECT_TRUE(sink.has_containing("no placed frames to look at")) << sink.all();
}

}  // namespace
