// The rendering divisor during interaction and the graphics power guess
// from the processor description.
#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include "display/render_resolution.h"

namespace {

reslice_load_t plane(long width, long height, double half_thickness = 0.0, bool active = true)
{
    return {active, width, height, half_thickness};
}

// The divisor is the truncated cube root of the work in 250,000-pixel units.
TEST(RenderDivisor, CubeRootOfTheWork)
{
    EXPECT_EQ(render_divisor({}, 0.01, true), 1);
    EXPECT_EQ(render_divisor({plane(1000, 1800)}, 0.01, true), 1);           // 7.2 units
    EXPECT_EQ(render_divisor({plane(1000, 1800)}, 0.01, false), 2);          // 7.2 + 1 with fast rendering off
    EXPECT_EQ(render_divisor({plane(1000, 1000, 0.02)}, 0.01, true), 2);     // 4 units x 5 planes of slab
    EXPECT_EQ(render_divisor({plane(1000, 1000, 0.02, false)}, 0.01, true), 1);  // inactive windows cost nothing
    std::vector<reslice_load_t> five(5, plane(2000, 1400));                   // 5 x 11.2 = 56 units
    EXPECT_EQ(render_divisor(five, 0.01, true), 3);
}

// Whatever the settings, the divisor stays in 1..16 (it divides image sizes).
TEST(RenderDivisor, AlwaysBetweenOneAndSixteen)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double scale : {0.01, 0.0, -1.0, 1e-300, nan, std::numeric_limits<double>::infinity()})
        for (double t : {0.0, -50.0, 1e6, nan})
            for (long size : {0L, 1L, 100000L, std::numeric_limits<long>::max()}) {
                const int d = render_divisor({plane(size, size, t)}, scale, false);
                EXPECT_GE(d, 1);
                EXPECT_LE(d, 16);
            }
    EXPECT_EQ(render_divisor({plane(100000, 100000)}, 0.01, true), 16);
}

class CpuPower : public ::testing::Test {
protected:
    wxString path;
    void SetUp() override { path = wxFileName::CreateTempFileName("ks_cpuinfo"); }
    void TearDown() override { wxRemoveFile(path); }
    long from_file(const std::string& content)
    {
        std::ofstream(path.ToStdString(), std::ios::binary) << content;
        return guess_cpu_power(path);
    }
};

// The three bands of the first bogomips figure; no figure or an unreadable
// one gives the fast default; only the first 8192 bytes count.
TEST_F(CpuPower, BandsDefaultsAndReadLimit)
{
    const std::string five_hundred = "bogomips\t: 500\n";
    const std::pair<std::string, long> cases[] = {
        {"processor\t: 0\nbogomips\t: 999.99\n", 10000}, {"processor\t: 0\nbogomips\t: 1299.5\n", 29999},
        {"processor\t: 0\nbogomips\t: 5986.00\nbogomips\t: 10.0\n", 49999}, {"model name\t: something\n", 49999},
        {"bogomips\t: fast\n", 49999}, {"bogomips\t: nan\n", 49999},
        {"bogomips", 49999},  // the figure would start past the end
        {std::string(9000, 'x') + five_hundred, 49999}, {std::string(8000, 'x') + five_hundred, 10000},
        {std::string(8182, 'x') + five_hundred, 49999},  // the number starts at byte 8192
    };
    for (const auto& [text, power] : cases)
        EXPECT_EQ(from_file(text), power) << text.substr(0, 40);
    EXPECT_EQ(guess_cpu_power(path + "_missing"), 49999);
    // Text is read only within its length (it has no terminating NUL).
    const std::string text = "bogomips\t: 12";
    const std::vector<char> exact(text.begin(), text.end());
    EXPECT_EQ(cpu_power_from_text(exact.data(), exact.size()), 10000);
    EXPECT_EQ(cpu_power_from_text(exact.data(), 10), 49999);
}

}  // namespace
