// The plot panel as a user sees it: the series in their colours at the
// pixels the layout maps their points to, cut at the frame, listed in the legend.
#include <chrono>
#include <cmath>
#include <memory>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/image.h>

#include "app/views/plot_panel.h"
#include "support/log_capture.h"

namespace {

constexpr plot_colour_t red{220, 20, 30}, blue{20, 40, 200};

class GuiPlot : public ::testing::Test {
protected:
    wxFrame* frame = nullptr;
    plot_panel_t* panel = nullptr;
    std::unique_ptr<log_capture> log;

    void SetUp() override
    {
        log = std::make_unique<log_capture>();           // errors must not become message boxes
        frame = new wxFrame(nullptr, wxID_ANY, "plot");  // destroyed in TearDown
        panel = new plot_panel_t(frame);
        frame->SetClientSize(520, 400);
        frame->Show();
        pump(100);
    }
    void TearDown() override
    {
        frame->Destroy();
        pump(50);
        EXPECT_EQ(log->count(wxLOG_Error), 0u);
        log.reset();
    }
    static void pump(int ms)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        do {
            wxTheApp->Yield(true);
            wxTheApp->ProcessIdle();
        } while (std::chrono::steady_clock::now() < end);
    }
    // The layout the panel draws with at its present size.
    plot_layout_t layout() const
    {
        wxBitmap scratch(1, 1, 24);
        wxMemoryDC dc(scratch);
        return panel->layout(dc, panel->GetClientSize());
    }
    static bool is(const wxImage& im, int x, int y, plot_colour_t c)
    {
        return im.GetRed(x, y) == c.r && im.GetGreen(x, y) == c.g && im.GetBlue(x, y) == c.b;
    }
    static long count(const wxImage& im, plot_colour_t c, const plot_rect_t& r, bool inside)
    {
        long n = 0;
        for (int y = 0; y < im.GetHeight(); ++y)
            for (int x = 0; x < im.GetWidth(); ++x)
                n += is(im, x, y, c) && r.contains(x, y) == inside;
        return n;
    }
};

// Markers sit on their points, a line running far out of the fixed range is
// cut at the frame, and both series show in the legend.
TEST_F(GuiPlot, SeriesShowWhereTheirPointsMap)
{
    plot_t p;
    p.title = "Thickness";
    p.x_range = plot_range_t{0, 10};
    p.y_range = plot_range_t{0, 10};
    plot_series_t dots;
    dots.label = "points";
    dots.colour = red;
    dots.points = {{2, 3}, {7, 8}, {50, 50}};
    plot_series_t line;
    line.label = "line";
    line.colour = blue;
    line.style = plot_style_t::lines;
    line.points = {{-100, 5}, {100, 5}};
    p.series = {dots, line};
    panel->set_plot(p);
    pump(50);

    const wxImage im = panel->grab().ConvertToImage();
    ASSERT_EQ(im.GetSize(), panel->GetClientSize());
    const plot_layout_t l = layout();
    ASSERT_EQ(l.legend_entries.size(), 2u);
    for (const plot_point_t& q : {plot_point_t{2, 3}, plot_point_t{7, 8}}) {
        const int x = static_cast<int>(std::lround(l.to_pixel_x(q.x))),
                  y = static_cast<int>(std::lround(l.to_pixel_y(q.y)));
        EXPECT_TRUE(is(im, x, y, red)) << q.x << "," << q.y;
    }
    const int row = static_cast<int>(std::lround(l.to_pixel_y(5)));
    EXPECT_TRUE(is(im, l.area.x, row, blue)) << "the line reaches the left of the frame";
    EXPECT_TRUE(is(im, l.area.right() - 1, row, blue)) << "and the right";
    EXPECT_EQ(count(im, blue, l.area, false), count(im, blue, l.legend, true)) << "outside the area only in the legend";
    EXPECT_GT(count(im, red, l.legend, true), 0);
    EXPECT_GT(count(im, blue, l.legend, true), 0);
}

// A new plot replaces the old one on screen.
TEST_F(GuiPlot, SetPlotReplacesWhatIsShown)
{
    plot_t first;
    first.series.push_back({"", red, plot_style_t::points, plot_marker_t::square, {{1, 1}, {2, 2}}});
    panel->set_plot(first);
    const plot_rect_t everywhere{0, 0, 10000, 10000};
    EXPECT_GT(count(panel->grab().ConvertToImage(), red, everywhere, true), 0);
    plot_t second;
    second.series.push_back({"", blue, plot_style_t::lines, plot_marker_t::square, {{1, 1}, {2, 2}}});
    panel->set_plot(second);
    const wxImage im = panel->grab().ConvertToImage();
    EXPECT_EQ(count(im, red, everywhere, true), 0);
    EXPECT_GT(count(im, blue, everywhere, true), 0);
    EXPECT_EQ(panel->plot().series.front().colour, blue);
}

}  // namespace
