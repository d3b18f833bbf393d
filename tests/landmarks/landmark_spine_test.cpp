// Spine assessment: tilts and Cobb angles agree with an independent in-plane
// computation wherever the reference plane lies in space, a straight spine
// gives 0, and missing or coincident landmarks give a status, never a NaN.
#include <cmath>
#include <map>
#include <numbers>

#include <gtest/gtest.h>

#include "reconstruction/reslice_geometry.h"
#include "surfaces/landmark_list.h"
#include "surfaces/landmark_spine.h"

namespace {

constexpr double tolerance_deg = 0.1;

double rad(double deg)
{
    return deg * std::numbers::pi / 180.0;
}

// A rigid placement of the reference plane's own coordinates (x lateral, y
// up, z out of the plane) in the world.
struct placement {
    double az = 0, el = 0, roll = 0;
    vertex3d shift{};
    vertex3d operator()(double x, double y, double z) const
    {
        // Three plain rotations, written out so as not to share the code under test.
        double p[3] = {x, y, z};
        auto rotate = [&p](int i, int j, double a) {
            const double c = std::cos(a), s = std::sin(a), u = p[i], v = p[j];
            p[i] = c * u - s * v;
            p[j] = s * u + c * v;
        };
        rotate(1, 2, rad(roll));
        rotate(0, 2, rad(el));
        rotate(0, 1, rad(az));
        return {p[0] + shift.x, p[1] + shift.y, p[2] + shift.z};
    }
};

// Spine landmarks of vertebrae at the given tilts (degrees, in the plane),
// stacked upwards, with the three references; `plain` saves them as 3D
// landmarks, as a recording read from disk holds them.
landmarks make_spine(const std::map<int, double>& tilts, const placement& at, bool plain = false,
                     vertex3d centre_ref = {0.0, 30.0, 0.0})
{
    landmarks marks;
    auto put = [&](const wxString& name, const vertex3d& p) {
        landmark_t m;
        m.name = name;
        m.position = p;
        if (!plain)
            create_indices_from_name(&m);
        marks.list.push_back(m);
    };
    put(spine::reference_name(spine::left_lower), at(-5.0, 0.0, 0.0));
    put(spine::reference_name(spine::central_upper), at(centre_ref.x, centre_ref.y, centre_ref.z));
    put(spine::reference_name(spine::right_lower), at(5.0, 0.0, 0.0));
    for (const auto& [v, tilt] : tilts) {
        const double y = 30.0 - 1.5 * v, half = 1.2;
        const double dx = half * std::cos(rad(tilt)), dy = half * std::sin(rad(tilt));
        // Laminae a little deeper than the spinous process: out of the plane by the same amount.
        put(spine::landmark_name(v, spine::left_lamina), at(-dx, y - dy, -0.8));
        put(spine::landmark_name(v, spine::spinous_process), at(0.0, y, 0.0));
        put(spine::landmark_name(v, spine::right_lamina), at(dx, y + dy, -0.8));
    }
    return marks;
}

}  // namespace

// The tilt is the in-plane angle of the laminae line from the reference
// line, however the plane is placed; the automatic Cobb angle spans the
// largest tilt difference.
TEST(SpineAssessment, TiltAndAutomaticCobbMatchThePlaneAngles)
{
    const std::map<int, double> tilts = {{5, 5.0}, {9, 12.0}, {13, -3.0}, {17, -20.0}, {19, 0.5}};
    for (const placement& at : {placement{}, placement{37, -21, 64, {4, -7, 12}}, placement{-170, 80, -33, {}}}) {
        for (bool plain : {false, true}) {
            const spine_assessment_t a = assess_spine(make_spine(tilts, at, plain), spine_reference_mode::left_right);
            EXPECT_EQ(a.reference_status, "Using left/right references");
            for (int v = 0; v < spine::vertebra_count; ++v) {
                const auto expected = tilts.find(v);
                if (expected == tilts.end()) {
                    EXPECT_FALSE(a.tilt[static_cast<std::size_t>(v)]) << v;
                    continue;
                }
                ASSERT_TRUE(a.tilt[static_cast<std::size_t>(v)]) << v;
                EXPECT_NEAR(*a.tilt[static_cast<std::size_t>(v)], expected->second, tolerance_deg) << v;
            }
            ASSERT_TRUE(a.cobb_deg);
            EXPECT_NEAR(*a.cobb_deg, 32.0, tolerance_deg);
            EXPECT_EQ(a.upper, 9);
            EXPECT_EQ(a.lower, 17);
            EXPECT_EQ(a.cobb_status, "Cobb angle is 32.0 deg (auto)");
        }
    }
}

// Two rows chosen by the user replace the automatic pair, in either order.
TEST(SpineAssessment, ManualCobbUsesTheChosenVertebrae)
{
    const landmarks marks = make_spine({{5, 5.0}, {9, 12.0}, {13, -3.0}, {17, -20.0}}, placement{15, 10, 5, {}});
    for (const auto& pair : {std::pair{5, 13}, std::pair{13, 5}}) {
        const spine_assessment_t a = assess_spine(marks, spine_reference_mode::left_right, pair);
        ASSERT_TRUE(a.cobb_deg);
        EXPECT_NEAR(*a.cobb_deg, 8.0, tolerance_deg);
        EXPECT_EQ(a.upper, 5);
        EXPECT_EQ(a.lower, 13);
        EXPECT_EQ(a.cobb_status, "Cobb angle is 8.0 deg (manual)");
    }
    // A vertebra without laminae, the same vertebra twice, or one off the table.
    for (const auto& bad : {std::pair{5, 6}, std::pair{9, 9}, std::pair{-1, 9}, std::pair{5, 22}}) {
        const spine_assessment_t a = assess_spine(marks, spine_reference_mode::left_right, bad);
        EXPECT_FALSE(a.cobb_deg);
        EXPECT_EQ(a.cobb_status, "Not able to calculate Cobb angle");
    }
}

// A straight spine has no curve: Cobb 0, not NaN, even where rounding puts
// the cosine of the two exactly opposite directions past -1.
TEST(SpineAssessment, StraightSpineGivesZero)
{
    std::map<int, double> straight;
    for (int v = 0; v < spine::vertebra_count; ++v)
        straight[v] = 0.0;
    for (const placement& at : {placement{}, placement{33.3, 17.7, -71.1, {1e3, -2e3, 5e2}}}) {
        const spine_assessment_t a = assess_spine(make_spine(straight, at), spine_reference_mode::left_right);
        ASSERT_TRUE(a.cobb_deg);
        EXPECT_FALSE(std::isnan(*a.cobb_deg));
        EXPECT_NEAR(*a.cobb_deg, 0.0, tolerance_deg);
        EXPECT_EQ(a.cobb_status, "Cobb angle is 0.0 deg (auto)");
        for (const auto& t : a.tilt) {
            ASSERT_TRUE(t);
            EXPECT_NEAR(*t, 0.0, tolerance_deg);
        }
    }
}

// The centre reference measures from the perpendicular to the line from
// between the lower references to the centre one.
TEST(SpineAssessment, CentreReferenceMeasuresFromItsPerpendicular)
{
    // Centre reference 10 across and 30 up: its perpendicular turns by atan(10 / 30) clockwise.
    const double turn = std::atan2(10.0, 30.0) * 180.0 / std::numbers::pi;
    const landmarks marks = make_spine({{3, 0.0}, {8, 15.0}}, placement{-40, 25, 70, {2, 2, 2}}, false, {10, 30, 0});
    const spine_assessment_t centre = assess_spine(marks, spine_reference_mode::centre);
    EXPECT_EQ(centre.reference_status, "Using centre reference");
    ASSERT_TRUE(centre.tilt[3] && centre.tilt[8]);
    EXPECT_NEAR(*centre.tilt[3], turn, tolerance_deg);
    EXPECT_NEAR(*centre.tilt[8], 15.0 + turn, tolerance_deg);
    const spine_assessment_t left_right = assess_spine(marks, spine_reference_mode::left_right);
    ASSERT_TRUE(left_right.tilt[8]);
    EXPECT_NEAR(*left_right.tilt[8], 15.0, tolerance_deg);
    // The Cobb angle is a difference of directions: the reference does not change it.
    ASSERT_TRUE(centre.cobb_deg && left_right.cobb_deg);
    EXPECT_NEAR(*centre.cobb_deg, 15.0, tolerance_deg);
    EXPECT_NEAR(*left_right.cobb_deg, 15.0, tolerance_deg);
}

// Missing, coincident or collinear references and vertebrae give the status
// texts and no numbers; nothing comes out NaN.
TEST(SpineAssessment, DegenerateInputsGiveStatusesNotNaN)
{
    const std::map<int, double> tilts = {{2, 4.0}, {6, -4.0}};
    auto status_without = [&](const wxString& name) {
        landmarks marks = make_spine(tilts, placement{});
        remove(&marks, *find(marks, name));
        return assess_spine(marks, spine_reference_mode::left_right);
    };
    for (const char* side : {"Spine Left Lower", "Spine Right Lower"}) {
        const spine_assessment_t a = status_without(side);
        EXPECT_EQ(a.reference_status, "No left/right reference");
        EXPECT_EQ(a.cobb_status, "Not able to calculate Cobb angle");
        EXPECT_FALSE(a.cobb_deg);
    }
    EXPECT_EQ(status_without("Spine Central Upper").reference_status, "No centre reference");

    // Left and right references on one point; the centre on their line.
    landmarks coincident = make_spine(tilts, placement{});
    coincident.list[*find(coincident, "Spine Right Lower")].position =
        coincident.list[*find(coincident, "Spine Left Lower")].position;
    EXPECT_EQ(assess_spine(coincident, spine_reference_mode::left_right).reference_status,
              "No left/right reference");
    landmarks collinear = make_spine(tilts, placement{}, false, {2.0, 0.0, 0.0});
    EXPECT_EQ(assess_spine(collinear, spine_reference_mode::centre).reference_status, "No centre reference");
    landmarks centred = make_spine(tilts, placement{}, false, {0.0, 0.0, 0.0});
    EXPECT_EQ(assess_spine(centred, spine_reference_mode::centre).reference_status, "No centre reference");

    // Laminae on one point, laminae along the plane normal, and a NaN lamina.
    landmarks broken = make_spine({{2, 4.0}, {6, -4.0}, {10, 9.0}}, placement{});
    broken.list[*find(broken, "C5 Right Lamina")].position = broken.list[*find(broken, "C5 Left Lamina")].position;
    broken.list[*find(broken, "T2 Right Lamina")].position = {0.0, 15.0, 7.0};
    broken.list[*find(broken, "T2 Left Lamina")].position = {0.0, 15.0, -7.0};
    broken.list[*find(broken, "T6 Left Lamina")].position.x = std::nan("");
    const spine_assessment_t a = assess_spine(broken, spine_reference_mode::left_right);
    EXPECT_EQ(a.reference_status, "Using left/right references");
    for (const auto& t : a.tilt)
        EXPECT_FALSE(t);
    EXPECT_FALSE(a.cobb_deg);
    EXPECT_EQ(a.cobb_status, "Not able to calculate Cobb angle");

    // One vertebra alone has nothing to make an angle with.
    const spine_assessment_t one = assess_spine(make_spine({{4, 10.0}}, placement{}), spine_reference_mode::left_right);
    ASSERT_TRUE(one.tilt[4]);
    EXPECT_EQ(one.cobb_status, "Not able to calculate Cobb angle");

    // Nothing at all.
    const spine_assessment_t none = assess_spine(landmarks{}, spine_reference_mode::centre);
    EXPECT_EQ(none.reference_status, "No left/right reference");
    EXPECT_EQ(none.cobb_status, "Not able to calculate Cobb angle");
}

// Laminae swapped (a right lamina placed left) or tilted past the plane stay
// within the arcsine's range instead of reading past it.
TEST(SpineAssessment, ExtremeTiltsStayFinite)
{
    const spine_assessment_t a =
        assess_spine(make_spine({{1, 90.0}, {2, -90.0}, {3, 180.0}, {4, 179.999}}, placement{10, 20, 30, {}}),
                     spine_reference_mode::left_right);
    for (int v : {1, 2, 3, 4}) {
        ASSERT_TRUE(a.tilt[static_cast<std::size_t>(v)]);
        EXPECT_TRUE(std::isfinite(*a.tilt[static_cast<std::size_t>(v)]));
        EXPECT_LE(std::abs(*a.tilt[static_cast<std::size_t>(v)]), 90.0);
    }
    EXPECT_NEAR(*a.tilt[1], 90.0, tolerance_deg);
    EXPECT_NEAR(*a.tilt[2], -90.0, tolerance_deg);
    ASSERT_TRUE(a.cobb_deg);
    EXPECT_TRUE(std::isfinite(*a.cobb_deg));
}

// "Use reslice as reference": three references in the reslice plane replace
// any old ones, and a vertebra lying along the plane's x axis has no tilt.
TEST(SpineAssessment, ReferencesFromTheReslicePlane)
{
    reslice_settings settings;
    settings.normal = {0.0, 1.0, 1.0};
    settings.up = {0.0, -1.0, 1.0};
    settings.centre = {3.0, 4.0, 5.0};
    const reslice_plane plane(settings, 0.05);
    landmarks marks;
    EXPECT_FALSE(has_spine_references(marks));
    set_spine_landmark(&marks, {9, 9, 9}, spine::reference_vertebra, spine::left_lower);
    EXPECT_TRUE(has_spine_references(marks));
    set_references_from_reslice(&marks, plane);
    ASSERT_EQ(marks.list.size(), 3u);
    const vertex3d e = plane.x_axis(), c = plane.centre();
    const vertex3d u = plane.up_axis();
    for (int v : {0, 1}) {
        const double y = 0.3 * v;
        const vertex3d left{c.x - e.x + y * u.x, c.y - e.y + y * u.y, c.z - e.z + y * u.z};
        const vertex3d right{c.x + e.x + y * u.x, c.y + e.y + y * u.y, c.z + e.z + y * u.z};
        set_spine_landmark(&marks, left, v, spine::left_lamina);
        set_spine_landmark(&marks, right, v, spine::right_lamina);
    }
    const spine_assessment_t a = assess_spine(marks, spine_reference_mode::left_right);
    EXPECT_EQ(a.reference_status, "Using left/right references");
    ASSERT_TRUE(a.tilt[0] && a.tilt[1]);
    EXPECT_NEAR(*a.tilt[0], 0.0, tolerance_deg);
    EXPECT_NEAR(*a.tilt[1], 0.0, tolerance_deg);
    EXPECT_EQ(assess_spine(marks, spine_reference_mode::centre).reference_status, "Using centre reference");
}
