// What the shape-model page does around the fit: refusals that leave the
// registration as it was (no model, no points, too few pairs, landmarks
// missing or in a line, a cancelled run), which modes take part, outlines
// cut from the fitted surface, the saved surface, the search-range label.
#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include "common/interaction.h"
#include "model_support.h"
#include "models/fit_model_session.h"
#include "support/log_capture.h"
#include "surfaces/ply_reader.h"
#include "surfaces/surface_cut.h"
#include "surfaces/surface_geometry.h"

namespace {

using namespace model_test;

bool same_registration(const fit_model& a, const fit_model& b)
{
    return a.rotation() == b.rotation() && a.translation() == b.translation() && a.scale() == b.scale() &&
           a.reflected() == b.reflected() && a.weights() == b.weights();
}

class FitOperations : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        demo = new shape_model_demo_t(make_shape_model_demo(600, 4));
        instance = new shape_instance_t(make_shape_instance(*demo, {}));
    }
    static void TearDownTestSuite()
    {
        delete demo;
        delete instance;
    }
    static shape_model_demo_t* demo;
    static shape_instance_t* instance;

    fit_model fitted() const
    {
        fit_model f = loaded(*demo);
        f.settings.modes = 4;
        f.set_target_points(points_of(instance->mesh));
        EXPECT_TRUE(f.fit_to_landmarks(instance->marks));
        EXPECT_TRUE(f.register_model());
        return f;
    }
};
shape_model_demo_t* FitOperations::demo = nullptr;
shape_instance_t* FitOperations::instance = nullptr;

TEST_F(FitOperations, NothingToFitIsRefusedWithThePagesMessages)
{
    log_capture log;
    fit_model empty;
    EXPECT_FALSE(empty.DoICP().applied);
    EXPECT_TRUE(log.contains("First load a shape model\n", wxLOG_Error));
    EXPECT_FALSE(empty.fit_to_landmarks(instance->marks));
    fit_model f = loaded(*demo);
    EXPECT_FALSE(f.DoICP().applied);
    EXPECT_TRUE(log.contains("First map some points from one of the objects", wxLOG_Error));
}

// A fit of 11 values from fewer matched points would be underdetermined:
// the registration must stay as it was, and the run must stop.
TEST_F(FitOperations, TooFewPairsLeaveTheRegistrationAsItWas)
{
    fit_model f = loaded(*demo);
    f.settings.modes = 4;
    std::vector<vertex3d> far = points_of(instance->mesh);  // the instance is 5 cm away: none within 1 cm
    f.set_target_points(far);
    const fit_model before = f;
    log_capture log;
    const ssm_iteration_t r = f.DoICP();
    EXPECT_FALSE(r.applied);
    EXPECT_EQ(r.pairs, 0u);
    EXPECT_TRUE(same_registration(f, before));
    EXPECT_TRUE(log.contains("the registration is unchanged", wxLOG_Error));
    // Ten points on the model are still fewer than the 11 values of pose, scale and four modes.
    const std::vector<vertex3d> on_model = points_of(f.warped());
    f.set_target_points(std::vector<vertex3d>(on_model.begin(), on_model.begin() + 10));
    EXPECT_FALSE(f.DoICP().applied);
    EXPECT_FALSE(f.register_model());
    EXPECT_TRUE(same_registration(f, before));
    f.settings.search_range = 0.0;
    EXPECT_FALSE(f.DoICP().applied);
}

TEST_F(FitOperations, LandmarkFitNeedsThreeNamedLandmarksNotInALine)
{
    fit_model f = loaded(*demo);
    const fit_model before = f;
    landmarks two = instance->marks;
    two.list.resize(2);
    {
        log_capture log;
        EXPECT_FALSE(f.fit_to_landmarks(two));
        EXPECT_TRUE(log.contains("First place a landmark on:\nLeft side\n", wxLOG_Error));
    }
    EXPECT_EQ(f.check_for_landmarks(two).size(), demo->marks.size() - 2);
    EXPECT_TRUE(f.check_for_landmarks(instance->marks).empty());
    // The front and back tips and a point between them: three, but in a line.
    landmarks line = two;
    landmark_t middle = line.list[0];
    middle.name = "Left side";
    middle.position = mul(add(line.list[0].position, line.list[1].position), 0.5);
    line.list.push_back(middle);
    EXPECT_FALSE(f.fit_to_landmarks(line));
    EXPECT_TRUE(same_registration(f, before));
    EXPECT_TRUE(f.fit_to_landmarks(instance->marks));
}

class cancelling_t : public headless_interaction_t {
public:
    explicit cancelling_t(int at) : at_(at) {}
    bool progress_update(int, const wxString& message) override
    {
        messages.push_back(message);
        return static_cast<int>(messages.size()) < at_;
    }
    void progress_begin(const wxString& caption, const wxString&, int) override { this->caption = caption; }
    std::vector<wxString> messages;
    wxString caption;

private:
    int at_;
};

TEST_F(FitOperations, CancellingRestoresTheRegistrationHeldBeforeTheRun)
{
    fit_model f = loaded(*demo);
    f.set_target_points(points_of(instance->mesh));
    ASSERT_TRUE(f.fit_to_landmarks(instance->marks));
    const fit_model before = f;
    cancelling_t cancel(4);
    interaction_t* previous = set_interaction(&cancel);
    int done = 0;
    EXPECT_FALSE(f.register_model([&](int, const ssm_iteration_t& r) { done += r.applied; }));
    set_interaction(previous);
    EXPECT_EQ(done, 3);  // three iterations changed it before the cancel
    EXPECT_TRUE(same_registration(f, before));
    EXPECT_EQ(cancel.caption, "Shape model registration");
    EXPECT_EQ(cancel.messages.at(2), "Iteration 3 of 20");
}

TEST_F(FitOperations, ModesInUseAreClampedAndSkipNonPositiveEigenvalues)
{
    shape_model_demo_t d = *demo;
    d.model.eigenvalues[1] = 0.0f;
    fit_model f;
    {
        log_capture log;
        ASSERT_TRUE(f.set_model(d.mesh, d.model, d.marks));
        EXPECT_EQ(log.count(wxLOG_Warning), 1u);
    }
    f.settings.modes = 100;
    EXPECT_EQ(f.modes_in_use(), (std::vector<int>{0, 2, 3}));
    f.settings.modes = -2;
    EXPECT_TRUE(f.modes_in_use().empty());
    f.settings.modes = 4;
    f.settings.flexibility = 0.0;  // rigid
    EXPECT_TRUE(f.modes_in_use().empty());
    f.settings.flexibility = 1.0;
    f.set_target_points(points_of(instance->mesh));
    ASSERT_TRUE(f.fit_to_landmarks(instance->marks));
    ASSERT_TRUE(f.register_model());
    EXPECT_EQ(f.weights()[1], 0.0);
    EXPECT_NE(f.weights()[0], 0.0);
}

TEST_F(FitOperations, RegistrationSettersRefuseWhatIsNotASimilarity)
{
    fit_model f = loaded(*demo);
    matrix16d m;
    m.forward(1.0, 2.0, 3.0, 30.0, 10.0, 5.0);
    EXPECT_TRUE(f.set_scaled_registration_matrix(m, 2.0));
    EXPECT_DOUBLE_EQ(f.scale(), 2.0);
    const fit_model before = f;
    EXPECT_FALSE(f.set_scaled_registration_matrix(m, 0.0));
    matrix16d mirror = m;
    mirror[0] = -mirror[0], mirror[1] = -mirror[1], mirror[2] = -mirror[2];
    EXPECT_FALSE(f.set_scaled_registration_matrix(mirror, 1.0));
    matrix16d sheared = m;
    sheared[4] += 0.1;
    EXPECT_FALSE(f.set_scaled_registration_matrix(sheared, 1.0));
    EXPECT_TRUE(same_registration(f, before));
    // Mirroring keeps the surface facing out: its volume stays positive.
    f.reflect_registration_matrix();
    double volume = 0.0;
    for (const surface_triangle_t& t : f.warped().triangles)
        volume += dot(f.warped().points[t.points[0]].position,
                      cross(f.warped().points[t.points[1]].position, f.warped().points[t.points[2]].position));
    EXPECT_GT(volume, 0.0);
    f.reset_model();
    EXPECT_EQ(f.scale(), 1.0);
    EXPECT_FALSE(f.reflected());
}

double segment_distance(const vertex3d& p, const vertex3d& a, const vertex3d& b)
{
    const vertex3d ab = sub(b, a);
    const double t = std::clamp(dot(sub(p, a), ab) / dot(ab, ab), 0.0, 1.0);
    return length(sub(p, add(a, mul(ab, t))));
}

// The distance from p to the true instance surface, triangle by triangle.
double distance_to(const surface_mesh_t& mesh, const vertex3d& p)
{
    double best = 1e300;
    for (const surface_triangle_t& t : mesh.triangles) {
        const vertex3d a = mesh.points[t.points[0]].position, b = mesh.points[t.points[1]].position,
                       c = mesh.points[t.points[2]].position;
        const vertex3d n = cross(sub(b, a), sub(c, a));
        const double h = dot(sub(p, a), n) / length(n);
        const vertex3d q = sub(p, mul(n, h / length(n)));  // p dropped onto the triangle's plane
        const bool inside = dot(cross(sub(b, a), sub(q, a)), n) >= 0 && dot(cross(sub(c, b), sub(q, b)), n) >= 0 &&
                            dot(cross(sub(a, c), sub(q, c)), n) >= 0;
        best = std::min(
            best, inside ? std::fabs(h)
                         : std::min({segment_distance(p, a, b), segment_distance(p, b, c), segment_distance(p, c, a)}));
    }
    return best;
}

TEST_F(FitOperations, ContoursFollowTheInstanceOnEveryNthFrame)
{
    const fit_model f = fitted();
    frame_placements placements;
    placements.sx = placements.sy = 0.01;
    const vertex3d centre = instance->translation;
    for (int k = 0; k < 12; ++k) {
        frame_placement p;
        p.usable = true;
        // Frames across the blob, 2 mm apart, 4 cm of image either way of its centre.
        p.image_to_world.forward(centre.x - 1.1 + 0.2 * k, centre.y - 4.0, centre.z - 4.0, 90.0, 0.0, 90.0);
        placements.frames.push_back(p);
    }
    contour_object object;
    contour kept;
    kept.points = {{1, 1}, {5, 1}, {5, 5}};
    object.insert(1, kept);
    object.insert(3, kept);  // replaced: frame 3 is cut
    EXPECT_FALSE(f.contours_to_object(object, placements, 0, 3));
    EXPECT_FALSE(f.contours_to_object(object, placements, 3, 0));
    ASSERT_TRUE(f.contours_to_object(object, placements, 3, 3));
    ASSERT_NE(object.find_set(1), nullptr);
    EXPECT_EQ(object.find_set(1)->contours.size(), 1u);
    int cut_frames = 0;
    double worst = 0.0;
    for (const contour_set& set : object.sets) {
        if (set.frame == 1)
            continue;
        EXPECT_EQ(set.frame % 3, 0);
        ++cut_frames;
        const plane_t plane = plane_of(placements.frames[set.frame].image_to_world, 0.01, 0.01);
        for (const contour& c : set.contours) {
            EXPECT_TRUE(c.closed);
            for (const vertex2d& p : c.points)
                worst = std::max(worst, distance_to(instance->truth,
                                                    add(plane.origin, add(mul(plane.ex, p.x), mul(plane.ey, p.y)))));
        }
    }
    EXPECT_EQ(cut_frames, 4);
    EXPECT_LT(10.0 * worst, 0.3);
}

TEST_F(FitOperations, SavedSurfaceReadsBackWithItsLandmarks)
{
    const fit_model f = fitted();
    const wxString dir = wxFileName::GetTempDir();
    const wxString ply = wxFileName::CreateTempFileName(dir + "/ks_fit") + ".ply";
    ASSERT_TRUE(f.save_surface(ply));
    ply_surface_t back;
    ASSERT_TRUE(read_ply_file(ply, 0, back));
    ASSERT_EQ(back.mesh.points.size(), f.warped().points.size());
    for (std::size_t i = 0; i < back.mesh.points.size(); ++i)
        EXPECT_LT(length(sub(back.mesh.points[i].position, f.warped().points[i].position)), 1e-5);
    EXPECT_EQ(back.mesh.triangles, f.warped().triangles);
    EXPECT_EQ(back.marks.list.size(), demo->marks.size());
    std::vector<ssm_landmark_t> marks;
    EXPECT_TRUE(read_fit_model_landmarks(back.comments, back.mesh.points.size(), &marks));
    EXPECT_EQ(marks.size(), demo->marks.size());
    wxRemoveFile(ply);
    const wxString wrl = wxFileName::CreateTempFileName(dir + "/ks_fit") + ".wrl";
    EXPECT_TRUE(f.save_surface(wrl));
    EXPECT_GT(wxFileName::GetSize(wrl).ToULong(), 1000u);
    wxRemoveFile(wrl);
    log_capture log;
    EXPECT_FALSE(f.save_surface(dir + "/ks_fit.stl"));
    EXPECT_FALSE(f.save_surface(dir + "/no/such/folder/fit.ply"));
    EXPECT_EQ(log.count(wxLOG_Error) >= 2, true);
    EXPECT_TRUE(log.contains("Error opening surface file for writing\n", wxLOG_Error));
}

TEST(SearchRangeLabel, UnitFollowsTheMagnitude)
{
    double unit = 0.0;
    EXPECT_EQ(search_range_label(0.5, &unit), "Search range (x0.1 mm):");
    EXPECT_DOUBLE_EQ(unit, 0.1);
    EXPECT_EQ(search_range_label(1.0, &unit), "Search range (mm)");
    EXPECT_EQ(search_range_label(9.99), "Search range (mm)");
    EXPECT_EQ(search_range_label(10.0, &unit), "Search range (x10 mm)");
    EXPECT_DOUBLE_EQ(unit, 10.0);
    EXPECT_EQ(search_range_label(250.0), "Search range (x100 mm)");
    EXPECT_EQ(search_range_label(0.05), "Search range (x0.01 mm)");
    EXPECT_EQ(search_range_label(5000.0), "Search range (x10^3 mm)");
    EXPECT_EQ(search_range_label(0.0005), "Search range (x10^-4 mm)");
    EXPECT_EQ(search_range_label(0.0), "Search range (mm)");
}

TEST(PointGrid, NearestMatchesBruteForceWithinRange)
{
    std::vector<vertex3d> points;
    for (int i = 0; i < 500; ++i)
        points.push_back({std::sin(i * 1.3) * 3.0, std::cos(i * 0.7) * 2.0, std::sin(i * 0.31) * 0.01});  // nearly flat
    point_grid_t grid;
    grid.build(points);
    EXPECT_LE(grid.cells(), 4 * points.size() + 64);
    for (int q = 0; q < 200; ++q) {
        const vertex3d p = {std::cos(q * 0.9) * 4.0, std::sin(q * 1.7) * 3.0, (q % 7) * 0.3};
        for (double range : {0.05, 0.5, 100.0}) {
            std::int64_t want = -1;
            double best = range * range;
            for (std::size_t i = 0; i < points.size(); ++i) {
                const double d = dot(sub(points[i], p), sub(points[i], p));
                if (d < best)
                    best = d, want = static_cast<std::int64_t>(i);
            }
            double d2 = 0.0;
            const std::int64_t got = grid.nearest(p, range, &d2);
            if (want < 0)
                EXPECT_EQ(got, -1);
            else
                EXPECT_DOUBLE_EQ(d2, best);
        }
    }
}

}  // namespace
