// Probe-pressure correction against the demo's known compression.
#include <cmath>

#include <gtest/gtest.h>

#include "correction_fixture.h"
#include "demo/bscan.h"

namespace {

// First row from `from` down column x whose label is `label` (or -1).
long first_row(const cip_t& image, long x, std::uint8_t label, long from = 0)
{
    for (long y = std::max(0L, from); y < image.height(); ++y)
        if (image.pixels()[y * image.width() + x] == label)
            return y;
    return -1;
}

class PressureTest : public CorrectionTest {
protected:
    std::shared_ptr<image_correlation> run;

    void SetUp() override
    {
        CorrectionTest::SetUp();
        correction_demo_options o = small(240);
        o.jitter_mm = 0.0;
        o.jitter_deg = 0.0;
        o.compression_mm = 1.5;
        load(o);
        double a = 0, b = 0;
        run = correct_frames(0, bufp->frames() - 1, true, false, &a, &b);
        ASSERT_TRUE(run->valid());
        EXPECT_GT(b, 0.5);  // the largest compression moves the data by about 1.5 mm
        EXPECT_LT(b, 3.0);
    }

    // The truth's compression of frame k at row y relative to the least compressed frame, in rows.
    double true_shift(std::size_t k, long y, double reference) const
    {
        const probe_setup& p = demo.scene.probe;
        const double depth = y * p.sy;
        return (demo.frames[k].compression - reference) * compression_weight(demo.options, depth) / p.sy;
    }
};

TEST_F(PressureTest, RowDisplacementFollowsTheTrueCompression)
{
    double least = 1e9;
    for (const auto& f : demo.frames)
        least = std::min(least, f.compression);
    double sum = 0.0;
    long count = 0;
    for (const corr_t& r : run->records()) {
        const std::size_t k = static_cast<std::size_t>(r.frame);
        for (long y = 0; y < static_cast<long>(r.row_shift.size()); ++y) {
            const double d = r.row_shift[static_cast<std::size_t>(y)] - true_shift(k, y, least);
            sum += d * d;
            ++count;
        }
    }
    EXPECT_LT(std::sqrt(sum / count), 1.0);
}

TEST_F(PressureTest, SquashReturnsEdgesToTheirUncompressedDepth)
{
    const probe_setup& p = demo.scene.probe;
    std::vector<double> rows(static_cast<std::size_t>(p.height));
    int checked = 0;
    for (const corr_t& r : run->records()) {
        const std::size_t k = static_cast<std::size_t>(r.frame);
        if (demo.frames[k].compression < 0.1)
            continue;  // only the well compressed frames say anything
        // Label images of the frame as pressed and as it would be without pressure.
        const double c = demo.frames[k].compression;
        for (long v = 0; v < p.height; ++v)
            rows[static_cast<std::size_t>(v)] = (v * p.sy + c * compression_weight(demo.options, v * p.sy) - c) / p.sy;
        std::vector<double> plain(rows.size());
        for (long v = 0; v < p.height; ++v)
            plain[static_cast<std::size_t>(v)] = v - c / p.sy;
        const cip_t labels = render_tissue_labels(demo.scene.body, demo.frames[k].true_pose.get(), p, rows);
        const cip_t truth = render_tissue_labels(demo.scene.body, demo.frames[k].true_pose.get(), p, plain);
        const cip_t squashed = run->corrected_frame(static_cast<long>(k), labels);
        ASSERT_EQ(squashed.height(), p.height);
        const long mid = p.width / 2;
        const long skin = first_row(truth, mid, label_skin), skin_after = first_row(squashed, mid, label_skin);
        ASSERT_GE(skin, 0);
        EXPECT_NEAR(skin_after, skin, 2) << "frame " << k;
        // The deep edge: the bottom of the organ, below the compressed layer, in a column through it.
        const std::uint8_t organ = ellipsoid_label(0);
        for (long x = 0; x < p.width; x += 8) {
            const long top = first_row(truth, x, organ), top_after = first_row(squashed, x, organ);
            if (top < 0 || top_after < 0)
                continue;
            const long bottom = first_row(truth, x, label_background, top);
            const long bottom_after = first_row(squashed, x, label_background, top_after);
            if (bottom < 0 || bottom - top < 5)
                continue;
            EXPECT_NEAR(bottom_after, bottom, 2) << "frame " << k << " column " << x;
            ++checked;
            break;
        }
    }
    EXPECT_GT(checked, 5);
}

}  // namespace
