// The bone-density calibration from a phantom's outlined inserts: every
// outlined pixel of every frame counts once (not each frame's mean), the line
// through known densities comes back exactly, names that are not densities
// are left out, and what cannot give a line says why and changes nothing.
#include <algorithm>

#include <gtest/gtest.h>

#include "common/dynabuf.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "script/script.h"
#include "segmentation/density_calibration.h"
#include "support/outline_shapes.h"
#include "support/session_fixture.h"

namespace {

struct quiet_sink_t : script_sink_t {
    wxString all;
    void write(const wxString& line, script_message_kind_t) override { all << line << "\n"; }
};

class DensityCalibration : public SessionTest {
protected:
    static constexpr long w = 40, h = 30;
    std::vector<cip_t> frames;

    void SetUp() override
    {
        SessionTest::SetUp();
        for (int i = 0; i < 3; ++i) {
            frames.push_back(cip_t::make_16bit(w, h));
            bufp->append(frames.back(), counted_array_ptr<float>{}, static_cast<std::uint64_t>(i));
        }
        res->RES_BUF_DICOM->write(true);
        res->RES_DICOM_HUM->write(2.0);
        res->RES_DICOM_HUB->write(-1024.0);
    }
    // Stored value v over the pixels (x0..x0+n-1, y0..y0+m-1) of frame f, outlined in object k.
    void insert(int k, const wxString& name, int f, long x0, long y0, long n, long m, std::uint16_t v)
    {
        std::uint16_t* samples = frames[static_cast<std::size_t>(f)].samples();
        ASSERT_NE(samples, nullptr);
        for (long y = y0; y < y0 + m; ++y)
            std::fill_n(samples + y * w + x0, n, v);
        contour_object& o = (*res->RES_OBJECT->value())[k];
        o.name = name;
        o.insert(f, rectangle(x0 - 0.5, y0 - 0.5, static_cast<double>(n), static_cast<double>(m)));
    }
};

// Known densities on the line 0.8 HU + 5, the middle insert outlined on two
// frames of different sizes and values: 4 pixels of HU 976 and 12 of HU
// 1376 give 1276 by pixel and 1176 by frame; only the first fits exactly.
TEST_F(DensityCalibration, PixelsOfAllFramesGiveTheLine)
{
    const auto hu = [](std::uint16_t v) { return 2.0 * v - 1024.0; };
    insert(0, "5", 0, 2, 2, 3, 3, 512);                  // HU 0
    insert(1, "1025.8 mg/cm^3", 0, 10, 2, 2, 2, 1000);   // HU 976
    insert(1, "1025.8 mg/cm^3", 2, 10, 10, 4, 3, 1200);  // HU 1376
    insert(2, "1605", 1, 20, 20, 5, 2, 1512);            // HU 2000
    insert(3, "Femur", 1, 30, 5, 3, 3, 3000);            // not an insert
    insert(4, "2a", 2, 30, 20, 3, 3, 3000);              // nor this
    const density_fit_t fit = measure_density_phantom();
    ASSERT_TRUE(fit.ok) << fit.why;
    ASSERT_EQ(fit.inserts.size(), 3u);
    EXPECT_EQ(fit.inserts[1].pixels, 16u);
    EXPECT_DOUBLE_EQ(fit.inserts[1].mean_hu, (4 * hu(1000) + 12 * hu(1200)) / 16.0);
    EXPECT_DOUBLE_EQ(fit.inserts[1].density, 1025.8);
    EXPECT_NEAR(fit.scale, 0.8, 1e-12);
    EXPECT_NEAR(fit.offset, 5.0, 1e-9);
    EXPECT_NEAR(fit.rms, 0.0, 1e-9);

    ASSERT_TRUE(apply_density_fit(fit));
    EXPECT_NEAR(res->RES_DICOM_BMD_SCALE->value(), 0.8, 1e-12);
    EXPECT_NEAR(res->RES_DICOM_BMD_OFFSET->value(), 5.0, 1e-9);
    EXPECT_EQ(res->RES_DICOM_BMD_PHANTOM->value(), "Inserts");  // named, so densities are shown
    res->RES_DICOM_BMD_PHANTOM->write("QRM");
    ASSERT_TRUE(apply_density_fit(fit));
    EXPECT_EQ(res->RES_DICOM_BMD_PHANTOM->value(), "QRM");  // a name given stays
}

TEST_F(DensityCalibration, WhatCannotGiveALineSaysWhyAndChangesNothing)
{
    res->RES_DICOM_BMD_SCALE->write(3.0);
    insert(0, "100", 0, 2, 2, 3, 3, 600);
    density_fit_t fit = measure_density_phantom();
    EXPECT_FALSE(fit.ok);
    EXPECT_TRUE(fit.why.Contains("at least two inserts")) << fit.why;
    EXPECT_FALSE(apply_density_fit(fit));
    EXPECT_EQ(res->RES_DICOM_BMD_SCALE->value(), 3.0);

    insert(1, "100.0", 1, 2, 2, 3, 3, 700);
    EXPECT_TRUE(measure_density_phantom().why.Contains("two different densities"));
    insert(1, "200", 1, 2, 2, 3, 3, 600);  // same values as the first
    EXPECT_TRUE(measure_density_phantom().why.Contains("do not differ")) << measure_density_phantom().why;

    res->RES_BUF_DICOM->write(false);
    EXPECT_TRUE(measure_density_phantom().why.Contains("no CT values"));

    for (const char* name : {"", "mg", "2a", "nan", "inf", "-", "Ellipsoid"}) {
        double d = 0.0;
        EXPECT_FALSE(density_from_name(name, &d)) << name;
    }
    double d = 0.0;
    EXPECT_TRUE(density_from_name(" -50 HA", &d));
    EXPECT_EQ(d, -50.0);
}

// DICOM_CALIBRATE as a script calls it: applied on success, an error naming why otherwise.
TEST_F(DensityCalibration, ScriptFunction)
{
    script_function_table_t table;
    register_density_functions(table);
    insert(0, "0", 0, 2, 2, 3, 3, 512);
    quiet_sink_t sink;
    EXPECT_FALSE(Script(sink, table).Run("func DICOM_CALIBRATE\n", path("run.txt")));
    EXPECT_TRUE(sink.all.Contains("ERROR: Function DICOM_CALIBRATE failed: at least two inserts")) << sink.all;
    insert(1, "800", 1, 2, 2, 3, 3, 1012);
    EXPECT_TRUE(Script(sink, table).Run("func DICOM_CALIBRATE\n", path("run.txt"))) << sink.all;
    EXPECT_NEAR(res->RES_DICOM_BMD_SCALE->value(), 0.8, 1e-12);
    EXPECT_NEAR(res->RES_DICOM_BMD_OFFSET->value(), 0.0, 1e-9);
}

}  // namespace
