// Fitting recovers a known instance of the demo model: placed by a known
// similarity (turned 30 degrees, scaled by 1.2, moved), deformed by known
// mode weights, seen 60% from one side with 0.1 mm noise; landmarks first,
// then 20 iterations.
#include <gtest/gtest.h>

#include "model_support.h"
#include "support/log_capture.h"

namespace {

using namespace model_test;

struct fitted_t {
    fit_error_t error;
    bool ok = false;
};

fitted_t fit(const shape_model_demo_t& demo, const shape_instance_t& instance, ssm_registration_t type, bool mirrored)
{
    fit_model f = loaded(demo);
    f.settings.type = type;
    f.settings.modes = demo.model.modes;
    f.settings.iterations = 20;
    f.settings.search_range = 1.0;
    if (mirrored)
        f.reflect_registration_matrix();
    f.set_target_points(points_of(instance.mesh));
    fitted_t out;
    out.ok = f.fit_to_landmarks(instance.marks) && f.register_model();
    out.error = fit_error(f, instance);
    return out;
}

void expect_recovered(const fitted_t& r)
{
    ASSERT_TRUE(r.ok);
    EXPECT_LT(r.error.rotation_degrees, 0.5);
    EXPECT_LT(r.error.translation_mm, 0.2);
    EXPECT_LT(r.error.scale_pct, 0.5);
    EXPECT_LT(r.error.worst_weight_sd, 0.1);
    EXPECT_LT(r.error.vertex_rms_mm, 0.2);
}

class FitAccuracy : public ::testing::Test {
protected:
    static void SetUpTestSuite() { demo = new shape_model_demo_t(make_shape_model_demo(1000, 6)); }
    static void TearDownTestSuite() { delete demo; }
    static shape_model_demo_t* demo;
};
shape_model_demo_t* FitAccuracy::demo = nullptr;

TEST_F(FitAccuracy, LeastSquaresRecoversPoseScaleAndWeights)
{
    const shape_instance_t instance = make_shape_instance(*demo, {});
    expect_recovered(fit(*demo, instance, ssm_registration_t::ssm, false));
}

// Gross outliers (10%, 3 to 8 mm off the surface on one side) would pull a
// least-squares fit outward; the absolute-deviation fit must not follow them.
TEST_F(FitAccuracy, AbsoluteDeviationIgnoresGrossOutliers)
{
    shape_instance_options_t how;
    how.outliers = 0.1;
    const shape_instance_t instance = make_shape_instance(*demo, how);
    const fitted_t lad = fit(*demo, instance, ssm_registration_t::lad, false);
    expect_recovered(lad);
    const fitted_t squares = fit(*demo, instance, ssm_registration_t::ssm, false);
    EXPECT_GT(squares.error.vertex_rms_mm, 2.0 * lad.error.vertex_rms_mm);
}

// A mirror image cannot be reached by turning: only after "Flip inside/outside".
TEST_F(FitAccuracy, MirroredInstanceRecoveredAfterFlip)
{
    shape_instance_options_t how;
    how.mirrored = true;
    const shape_instance_t instance = make_shape_instance(*demo, how);
    expect_recovered(fit(*demo, instance, ssm_registration_t::ssm, true));
    const fitted_t unflipped = fit(*demo, instance, ssm_registration_t::ssm, false);
    EXPECT_GT(unflipped.error.vertex_rms_mm, 1.0);
}

}  // namespace
