// The shape model held by the session, as the shape-model page uses it: a
// load that fails leaves no model and tells the page which file failed; each
// change is signalled; an object without outlines gives no target points.
#include <gtest/gtest.h>

#include "model_support.h"
#include "models/fit_model_session.h"
#include "resources/resource_table.h"
#include "support/log_capture.h"
#include "support/session_fixture.h"

namespace {

using ShapeModelSession = SessionTest;

TEST_F(ShapeModelSession, LoadsReportsAndClears)
{
    EXPECT_EQ(current_shape_model_text(), "none");
    ASSERT_TRUE(write_shape_model_demo(dir, make_shape_model_demo(60, 3), {}));
    const long changes = res->RES_NEW_SHAPE_MODEL->value();
    fit_model_from_session()->settings.modes = 2;
    EXPECT_EQ(load_shape_model(path(shape_model_demo_name)), ssm_load_t::ok);
    EXPECT_EQ(current_shape_model_text(), shape_model_demo_name);
    EXPECT_EQ(fit_model_from_session()->settings.modes, 2) << "the page's settings outlive a load";
    EXPECT_GT(res->RES_NEW_SHAPE_MODEL->value(), changes);
    log_capture log;
    EXPECT_EQ(load_shape_model(path("shape_model.ssm")), ssm_load_t::ply_failed);
    EXPECT_FALSE(fit_model_from_session()->loaded());
    EXPECT_EQ(current_shape_model_text(), "none");
    EXPECT_FALSE(points_from_object(0));
    EXPECT_TRUE(log.contains("First map some points from one of the objects", wxLOG_Error));
    EXPECT_FALSE(contours_to_object(0, 1, 3));
    EXPECT_FALSE(contours_to_object(-1, 1, 3));
}

}  // namespace
