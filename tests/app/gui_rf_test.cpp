// RF data as the user sees them: the RF display dialog and the oscilloscope
// page are offered only with RF data, the dialog shows and stores the display
// settings and the frames follow them, dual display draws the second image
// beside the frame, the oscilloscope's trace lies on the samples of the
// vector chosen (or the mean of the vectors averaged), of the frame held or
// of the live frame, and RF frames held fix the RF frame size.
#include <cmath>
#include <cstring>
#include <functional>

#include <wx/choice.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>

#include "acquisition/image_source.h"
#include "acquisition/rf_display.h"
#include "app/dialogs/image_source_dialog.h"
#include "app/dialogs/rf_display_dialog.h"
#include "app/ids.h"
#include "app/pages/rfscope_page.h"
#include "app/review_geometry.h"
#include "app/views/gl_support.h"
#include "app/views/review_canvas.h"
#include "common/dynabuf.h"
#include "common/vid_stat.h"
#include "demo/rf_demo.h"
#include "gui_fixture.h"
#include "resources/core_session.h"
#include "resources/resource_table.h"

namespace {

class GuiRf : public GuiTest {
protected:
    wxString rf_demo;
    void SetUp() override
    {
        GuiTest::SetUp();
        core_session_t maker(dir, "", false);
        maker.finish_start_up();
        ASSERT_TRUE(write_demo_rf_recording(dir, 3));
        rf_demo = dir + "/" + demo_rf_recording_name;
    }
    rfscope_page& scope() { return *dynamic_cast<rfscope_page*>(frame().visual_notebook()->GetPage(7)); }
    bool rf_offered() { return frame().GetMenuBar()->IsEnabled(ID_CONFIG_RF_DISPLAY) && scope().IsEnabled(); }
};

// B-mode data offer no RF settings; RF data do.
TEST_F(GuiRf, RfItemsOnlyWithRfData)
{
    start({demo});
    EXPECT_FALSE(rf_offered());
    script.answers.push_back(answer_t::ok);
    menu(ID_FILE_NEW);
    frame().GetMenuBar()->Enable(ID_FILE_OPEN, true);
    script.files.push_back(file_choice_t{rf_demo, 0});
    menu(ID_FILE_OPEN);
    ASSERT_TRUE(pump_until([&] { return bufp->frames() == 3; }));
    EXPECT_TRUE(rf_offered());
}

// The dialog shows the recording's settings and probe; OK stores what it
// shows and the frames held are filtered again (here to phase).
TEST_F(GuiRf, DisplayDialogWritesWhatItShowsAndFramesFollow)
{
    start({rf_demo});
    ASSERT_TRUE(rf_offered());
    rf_display_dialog dialog(&frame(), rf_display_service->probes());
    EXPECT_EQ(dialog.probe->GetStringSelection(), demo_rf_probe_name);
    EXPECT_EQ(dialog.probe->GetString(0), "no probe");
    EXPECT_EQ(dialog.range->GetValue(), 60);
    EXPECT_EQ(dialog.rate->GetStringSelection(), "50 MHz");
    EXPECT_EQ(dialog.rate->GetString(1), "100 MHz (no filters)");
    EXPECT_EQ(dialog.band->GetMax(), 1) << "the demo probe has one band";
    dialog.display->SetSelection(2);
    wxCommandEvent chosen(wxEVT_CHOICE, dialog.display->GetId());
    dialog.display->ProcessWindowEvent(chosen);
    EXPECT_TRUE(dialog.display_note->IsShown() && dialog.display_note->GetLabel().Contains("envelope is shown"))
        << "strain is not built yet: say so";
    dialog.display->SetSelection(1);
    dialog.display->ProcessWindowEvent(chosen);
    EXPECT_FALSE(dialog.display_note->IsShown());
    dialog.range->SetValue(40);
    dialog.offset->SetValue(10);
    dialog.persistence->SetValue(3);
    dialog.apply();
    EXPECT_EQ(res->RES_RF_DISPLAY->value(), 2);
    EXPECT_EQ(res->RES_RF_LOG_MULT->value(), 40);
    EXPECT_EQ(res->RES_RF_LOG_OFFSET->value(), 10);
    EXPECT_EQ(res->RES_RF_PERSIST->value(), 3);
    EXPECT_EQ(res->RES_RF_PROBE_NAME->value(), demo_rf_probe_name);

    // Frame 0 now holds the phase of its samples, through the probe's filter.
    const cip_t f = bufp->imagecp(0);
    rf_utility::taps_t taps;
    ASSERT_TRUE(rf_display_service->display_taps(&taps));
    std::vector<std::uint8_t> expected(f.pixel_count());
    rf_utility::display_settings_t phase;
    phase.display = rf_utility::display_phase;
    ASSERT_TRUE(rf_utility::filter_rf({f.signed_samples(), f.width(), f.height()}, {0, 0, f.width(), f.height()}, taps,
                                      phase, nullptr, 0, expected.data()));
    EXPECT_EQ(0, std::memcmp(expected.data(), f.pixels(), expected.size()));
}

// Sample k of the trace is drawn at the height its value gives, for the
// vector, run of samples and gain chosen on the page.
TEST_F(GuiRf, OscilloscopeTraceLiesOnTheSamples)
{
    start({rf_demo});
    visual(ID_VISUAL_RFSCOPE);
    ASSERT_EQ(frame().visual_notebook()->GetSelection(), 7);
    scope().vector->SetValue(64);
    scope().first_sample->SetValue(300);
    scope().samples->SetValue(200);
    scope().gain->SetValue(18);
    wxCommandEvent changed(wxEVT_SPINCTRL, scope().gain->GetId());
    scope().gain->ProcessWindowEvent(changed);
    pump(100);
    EXPECT_EQ(res->RES_RFSCOPE_V->value(), 64);
    EXPECT_EQ(scope().status->GetLabel(), "Vector 64, samples 300 to 499");
    const std::int16_t* x = bufp->imagecp(static_cast<long>(res->RES_BUF_CURRENT_FRAME->value())).signed_samples();
    const double gain = std::pow(10.0, 18.0 / 20.0);
    // Sample k of the 200 shown, worth value(k) before the gain, is on the drawn line.
    const auto expect_drawn = [&](const std::function<double(int)>& value) {
        const wxImage shot = scope().plot->grab().ConvertToImage();
        const int w = shot.GetWidth() - 8, h = shot.GetHeight() - 8;
        ASSERT_GT(w, 100);
        ASSERT_GT(h, 60);
        const wxColour c = rf_plot_panel::trace_colour;
        for (int k = 0; k < 200; ++k) {
            const double y = std::clamp((h - 1) * 0.5 * (1.0 - value(k) * gain / 32768.0), 0.0, h - 1.0);
            const int px = 4 + static_cast<int>(std::lround(k * (w - 1) / 199.0)), py = 4 + static_cast<int>(std::lround(y));
            bool found = false;  // the line passes through the point, give or take a pixel of rounding and smoothing
            for (int dy = -1; dy <= 1 && !found; ++dy) {
                const int r = shot.GetRed(px, py + dy), g = shot.GetGreen(px, py + dy), b = shot.GetBlue(px, py + dy);
                found = g > c.Green() / 3 && g > r + 40 && g > b + 20;  // trace green, not the grey axes or black
            }
            ASSERT_TRUE(found) << "sample " << 300 + k << " (value " << value(k) << ") not drawn at " << px << ", " << py;
        }
    };
    expect_drawn([&](int k) { return static_cast<double>(x[64 * 1024 + 300 + k]); });
    EXPECT_FALSE(scope().first_vector->IsEnabled()) << "one vector: nothing is averaged";

    // Four vectors from vector 60 averaged: the vector control gives way to the first one averaged.
    scope().averaged->SetValue(4);
    scope().first_vector->SetValue(60);
    scope().gain->ProcessWindowEvent(changed);
    pump(100);
    EXPECT_EQ(res->RES_RFSCOPE_A->value(), 4);
    EXPECT_EQ(res->RES_RFSCOPE_START_V->value(), 60);
    EXPECT_EQ(scope().status->GetLabel(), "Mean of vectors 60 to 63, samples 300 to 499");
    EXPECT_FALSE(scope().vector->IsEnabled());
    EXPECT_TRUE(scope().first_vector->IsEnabled());
    expect_drawn([&](int k) {
        double sum = 0;
        for (int v = 60; v < 64; ++v)
            sum += x[v * 1024 + 300 + k];
        return sum / 4.0;
    });
}

// Dual display draws the frame's phase to the right of its envelope, each texel in its colour, and leaves
// the frame where it was.
TEST_F(GuiRf, DualDisplayDrawsThePhaseBesideTheEnvelope)
{
    start({rf_demo});
    review_canvas& view = *frame().review();
    view.grab();
    EXPECT_TRUE(view.beside().empty());
    res->RES_RF_DUAL_DISPLAY->write(true);
    res->RES_REVIEW_ZOOM->write(8.0);  // texels several window pixels wide: their colours are exact
    const wxImage shot = view.grab();
    const cip_t beside = view.beside();
    const cip_t shown = bufp->imagecp(static_cast<long>(res->RES_BUF_CURRENT_FRAME->value()));
    ASSERT_FALSE(beside.empty());
    ASSERT_EQ(beside.width(), shown.width());
    ASSERT_EQ(beside.height(), shown.height());

    rf_utility::taps_t taps;
    ASSERT_TRUE(rf_display_service->display_taps(&taps));
    rf_utility::display_settings_t phase;
    phase.display = rf_utility::display_phase;
    std::vector<std::uint8_t> expected(shown.pixel_count());
    ASSERT_TRUE(rf_utility::filter_rf({shown.signed_samples(), shown.width(), shown.height()},
                                      {0, 0, shown.width(), shown.height()}, taps, phase, nullptr, 0, expected.data()));
    EXPECT_EQ(0, std::memcmp(expected.data(), beside.pixels(), expected.size())) << "the demo has no persistence";

    // Texels of both images near the gap, where the zoomed view looks.
    const std::vector<std::uint8_t> frame_rgb = frame_to_rgb(shown), beside_rgb = frame_to_rgb(beside);
    const double start = review_view_t::beside_start(static_cast<double>(shown.width()));
    long checked = 0;
    for (long v = shown.height() / 2 - 30; v < shown.height() / 2 + 30; ++v)
        for (long u = shown.width() - 20; u < shown.width() + 20; ++u) {
            const bool in_frame = u < shown.width();
            const long t = in_frame ? u : u - shown.width();
            const wxPoint p = view.frame_to_window((in_frame ? 0.0 : start) + static_cast<double>(t), static_cast<double>(v));
            if (p.x < 0 || p.y < 0 || p.x >= shot.GetWidth() || p.y >= shot.GetHeight())
                continue;
            const std::uint8_t* want = (in_frame ? frame_rgb : beside_rgb).data() + 3 * (v * shown.width() + t);
            ASSERT_NEAR(shot.GetRed(p.x, p.y), want[0], 1) << (in_frame ? "frame" : "beside") << " " << t << ", " << v;
            ASSERT_NEAR(shot.GetGreen(p.x, p.y), want[1], 1) << (in_frame ? "frame" : "beside") << " " << t << ", " << v;
            ++checked;
        }
    EXPECT_GT(checked, 1000) << "the zoomed view shows both images";
    res->RES_RF_DUAL_DISPLAY->write(false);
    view.grab();
    EXPECT_TRUE(view.beside().empty());
}

// RF frames held fix the RF frame size: the image source dialog greys it out and says why, OK keeps it,
// and the first vector may still move; after New it is free again.
TEST_F(GuiRf, HeldRfFramesLockTheRfFrameSize)
{
    start({rf_demo});
    const auto vectors = res->RES_RF_VECTORS->value(), samples = res->RES_RF_SAMPLES->value();
    {
        image_source_dialog dialog(&frame(), {});
        EXPECT_FALSE(dialog.rf_vectors->IsEnabled());
        EXPECT_FALSE(dialog.rf_samples->IsEnabled());
        EXPECT_TRUE(dialog.rf_vector_offset->IsEnabled());
        EXPECT_TRUE(dialog.rf_note->IsShown());
        wxString note = dialog.rf_note->GetLabel();
        note.Replace("\n", " ");  // wrapped to the dialog's width
        EXPECT_TRUE(note.Contains("start a new recording to change the RF frame size")) << note;
        dialog.rf_vectors->SetValue(5);
        dialog.rf_vector_offset->SetValue(2);
        dialog.apply();
    }
    EXPECT_EQ(res->RES_RF_VECTORS->value(), vectors);
    EXPECT_EQ(res->RES_RF_SAMPLES->value(), samples);
    EXPECT_EQ(res->RES_RF_VECTOR_OFFSET->value(), 2);

    script.answers.push_back(answer_t::ok);
    menu(ID_FILE_NEW);
    ASSERT_EQ(bufp->frames(), 0);
    image_source_dialog dialog(&frame(), {});
    EXPECT_TRUE(dialog.rf_vectors->IsEnabled());
    EXPECT_FALSE(dialog.rf_note->IsShown());
    dialog.rf_vectors->SetValue(64);
    dialog.apply();
    EXPECT_EQ(res->RES_RF_VECTORS->value(), 64);
}

// While live on the RF replay, the scope shows the live frame's samples.
TEST_F(GuiRf, LiveRfFramesReachTheOscilloscope)
{
    start({rf_demo});
    res->RES_SIM_IMAGE_SOURCE->write(1);
    const auto& sources = *res->RES_VID_CARD_LIST->value();
    for (std::size_t k = 0; k < sources.size(); ++k)
        if (sources[k].kind == image_source_simulated_rf)
            res->RES_VID_CARD->write(static_cast<std::int64_t>(k));
    visual(ID_VISUAL_RFSCOPE);
    ASSERT_TRUE(scope().IsEnabled());
    tool(ID_TOOL_LIVE, true);
    std::shared_ptr<vid_stat_t> live;
    ASSERT_TRUE(pump_until([&] {
        live = res->RES_VIDEO_CAPTURE_EVENT->value();
        return live && live->image.has_samples() && scope().plot->has_trace();
    }));
    pump(50);
    live = res->RES_VIDEO_CAPTURE_EVENT->value();
    const rf_trace_t& trace = scope().plot->trace();
    const std::int16_t* x = live->image.signed_samples() + trace.vector * live->image.height();
    ASSERT_FALSE(trace.values.empty());
    for (std::size_t k = 0; k < trace.values.size(); k += 17)
        ASSERT_DOUBLE_EQ(trace.values[k], x[trace.first + static_cast<long>(k)]) << k;
    tool(ID_TOOL_LIVE, false);
}

}  // namespace
