// The thickness settings as a fit configuration: wild values from a
// recording, template or script are bounded before a fit sees them, a
// technique writes its switches into the settings, and the alternate
// surface must be an object that has one.
#include <gtest/gtest.h>

#include <cmath>

#include "../support/session_fixture.h"
#include "resources/resource_table.h"
#include "surfaces/surface_interp.h"
#include "thickness/thickness_settings.h"

namespace {

using ThicknessSettings = SessionTest;

TEST_F(ThicknessSettings, WildValuesAreBoundedBeforeAFit)
{
    thickness_config_t c = thickness_config_from_settings();
    EXPECT_DOUBLE_EQ(c.line_cm, 1.8);  // a world length: 18 mm
    EXPECT_EQ(c.gauss_mm, thickness_unknown);

    res->RES_THICKNESS_WIDTH->write(1000000);  // would sample 3e12 lines a point
    res->RES_THICKNESS_LINE->write(std::nan(""));
    res->RES_THICKNESS_GAUSS->write(0.0);
    res->RES_THICKNESS_RECT->write(-2.0);
    res->RES_THICKNESS_B->write(INFINITY);
    res->RES_THICKNESS_A->write(-40.0);
    c = thickness_config_from_settings();
    EXPECT_EQ(c.width, 16);
    EXPECT_DOUBLE_EQ(c.line_cm, 1.8);
    EXPECT_EQ(c.gauss_mm, thickness_unknown);  // a blur of 0 cannot be known: estimated
    EXPECT_EQ(c.rect_mm, 0.0);
    EXPECT_EQ(c.b, thickness_unknown);
    EXPECT_EQ(c.a, -40.0);  // densities may be negative
    res->RES_THICKNESS_WIDTH->write(-3);
    res->RES_THICKNESS_LINE->write(-1.0);
    EXPECT_EQ(thickness_config_from_settings().width, 0);
    EXPECT_DOUBLE_EQ(thickness_config_from_settings().line_cm, 1.8);
    res->RES_THICKNESS_LINE->write(1e9);
    EXPECT_DOUBLE_EQ(thickness_config_from_settings().line_cm, 1.8);
    res->RES_THICKNESS_LINE->write(2.4);
    EXPECT_DOUBLE_EQ(thickness_config_from_settings().line_cm, 2.4);
}

TEST_F(ThicknessSettings, ATechniqueWritesItsSwitchesIntoTheSettings)
{
    res->RES_THICKNESS_B->write(1750.0);
    res->RES_THICKNESS_A->write(20.0);
    res->RES_THICKNESS_FWHM->write(true);
    const auto fixed = choose_thickness_technique(4);  // "CBM v2"
    EXPECT_EQ(fixed, thickness_controls_fixed_by(4));
    EXPECT_EQ(res->RES_THICKNESS_TYPE->value(), 4);
    EXPECT_TRUE(res->RES_THICKNESS_POST_BLUR->value());
    EXPECT_FALSE(res->RES_THICKNESS_FWHM->value());
    EXPECT_EQ(res->RES_THICKNESS_A->value(), 1e10);
    EXPECT_EQ(res->RES_THICKNESS_B->value(), 1750.0);
    const thickness_config_t c = thickness_config_from_settings();
    EXPECT_TRUE(c.post_blur);
    EXPECT_EQ(c.b, 1750.0);

    choose_thickness_technique(7);  // "HRTC": a bundle when there was none
    EXPECT_EQ(res->RES_THICKNESS_WIDTH->value(), 4);
    EXPECT_TRUE(thickness_config_from_settings().threshold);
    EXPECT_TRUE(choose_thickness_technique(42).empty());
    EXPECT_EQ(res->RES_THICKNESS_TYPE->value(), 7);  // unknown: nothing changed
}

TEST_F(ThicknessSettings, TheAlternateSurfaceMustExist)
{
    EXPECT_EQ(alternate_surface_object(), -1);
    res->RES_THICKNESS_SURF->write(3);
    EXPECT_EQ(alternate_surface_object(), -1);  // object 3 has no surface
    res->RES_SURFACE[3]->write(std::make_shared<surface_interp>());
    EXPECT_EQ(alternate_surface_object(), 3);
    for (long wild : {-7L, 201L, 1L << 40}) {
        res->RES_THICKNESS_SURF->write(wild);
        EXPECT_EQ(alternate_surface_object(), -1) << wild;
    }
}

}  // namespace
