// The pointer pages as a user drives them, the pointer's poses arriving as
// the tracker would send them: a pivot found and kept in the settings, the
// isocentre from the phantom's faces touched, and stylus tips accepted on
// Cal with pointer.
#include <cmath>
#include <random>
#include <regex>

#include <wx/button.h>
#include <wx/config.h>
#include <wx/notebook.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "app/ids.h"
#include "app/pages/pointer_pages.h"
#include "calibration/calib_internals.h"
#include "calibration/isocentre_calibration.h"
#include "common/pos_stat.h"
#include "app/pages/reslice_pages.h"
#include "reconstruction/reslice_default.h"
#include "common/vertex_math.h"
#include "gui_fixture.h"
#include "resources/resource_table.h"
#include "surfaces/landmark_session.h"

namespace {

class GuiPointer : public GuiTest {
protected:
    template <class page_t>
    page_t& page(int id)
    {
        menu(id);
        pump(50);
        return *dynamic_cast<page_t*>(frame().task_notebook()->GetPage(MainFrame::task_page_index(id)));
    }
    void click(wxButton* b)
    {
        wxCommandEvent e(wxEVT_BUTTON, b->GetId());
        e.SetEventObject(b);
        b->ProcessWindowEvent(e);
    }
    void pointer_at(const std::array<float, 6>& pose, pos_state_t state = POS_VALID)
    {
        const float p[6] = {pose[0], pose[1], pose[2], pose[3], pose[4], pose[5]};
        res->RES_POINTER_CAPTURE_EVENT->write(std::make_shared<pos_stat_t>(pos_stat_t::make(++time_, p, state)));
    }
    std::uint64_t time_ = 1000;
};

TEST_F(GuiPointer, PivotCalibrationIsKeptInTheSettings)
{
    start({});
    auto& p = page<pointer_page>(ID_TASK_POINTER);
    EXPECT_EQ(p.calibrated->GetLabel(), "No valid pointer calibration");
    click(p.start);
    EXPECT_EQ(p.start->GetLabel(), " Stop pointer calibration ");
    EXPECT_EQ(p.message->GetLabel(), "Waiting for pointer position\n\n");
    // Pivoting about a point 20 cm up, the tip 15 cm along the stylus.
    const vertex3d pivot{3, -4, 20}, tip{0.5, -0.3, 15};
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> turn(-40, 40);
    for (int i = 0; i < 30; ++i) {
        matrix16d m;
        m.forward(0, 0, 0, turn(rng), turn(rng), turn(rng));
        const vertex3d at = pivot - m * tip;
        double x, y, z, a, e, r;
        m[12] = at.x;
        m[13] = at.y;
        m[14] = at.z;
        m.decompose(&x, &y, &z, &a, &e, &r);
        pointer_at({float(x), float(y), float(z), float(a), float(e), float(r)});
        if (i == 2) {
            EXPECT_EQ(p.message->GetLabel(), "Waiting for pointer position\n\n");  // nothing solved from three
        }
    }
    EXPECT_TRUE(p.message->GetLabel().StartsWith("Calibration: (")) << p.message->GetLabel();
    EXPECT_TRUE(p.message->GetLabel().EndsWith("Good convergence"));
    pointer_at({0, 0, 0, 0, 0, 0}, POS_MISSING);
    EXPECT_EQ(p.message->GetLabel(), "No reading - pointer missing");
    EXPECT_EQ(p.poses(), 30u);
    click(p.start);
    EXPECT_FALSE(p.collecting());
    EXPECT_NEAR(res->RES_POINTER_XTRANS->value(), tip.x, 1e-3);
    EXPECT_NEAR(res->RES_POINTER_ZTRANS->value(), tip.z, 1e-3);
    EXPECT_TRUE(p.calibrated->GetLabel().StartsWith("Pointer calibrated on "));
    wxString stored;
    ASSERT_TRUE(base_res_t::settings_store()->Read("RES_POINTER_ZTRANS", &stored));
    double z = 0;
    EXPECT_TRUE(stored.ToCDouble(&z));
    EXPECT_NEAR(z, tip.z, 1e-3);

    // A pointer held still solves nothing and stores nothing.
    res->RES_POINTER_XTRANS->write(0.0);
    click(p.start);
    for (int i = 0; i < 6; ++i)
        pointer_at({1, 2, 3, 10, 20, 30});
    EXPECT_EQ(p.message->GetLabel(), "No new calibration\nPoints failed to converge");
    click(p.start);
    EXPECT_EQ(res->RES_POINTER_XTRANS->value(), 0.0);
}

TEST_F(GuiPointer, IsocentreFromTheFacesTouched)
{
    start({demo});
    auto& p = page<isocentre_task_page>(ID_TASK_ISOCENTRE);
    EXPECT_EQ(p.calibrated->GetLabel(), "No valid isocentre calibration");
    // The pointer's tip is its sensor (no offset); the phantom stands at a known pose.
    const std::array<double, 6> truth{12, -30, 95, 35, -20, 110};
    matrix16d to_world;
    to_world.inverse(truth[0], truth[1], truth[2], truth[3], truth[4], truth[5]);
    for (int n = 1; n <= 5; ++n) {
        const auto& f = isocentre_face_middles[std::size_t(n - 1)];
        const vertex3d w = to_world * vertex3d{f[0], f[1], f[2]};
        pointer_at({float(w.x), float(w.y), float(w.z), 0, 0, 0});
        click(p.fiducials[std::size_t(n - 1)]);
    }
    EXPECT_EQ(p.fiducials[0]->GetLabel(), "Fiducial Isocentre 1 (set)");
    visual(ID_VISUAL_ISOCENTRE);
    click(p.get);
    pump(50);
    // The Isocentre view turns to the new isocentre's plane at once.
    const reslice_settings& shown = frame().reslices().reslices[isocentre_reslice_window].settings();
    EXPECT_GT(std::fabs(dot(shown.normal, column(to_world, 2))), 0.9999);
    EXPECT_TRUE(p.message->GetLabel().StartsWith("Calibration: (")) << p.message->GetLabel();
    EXPECT_TRUE(p.calibrated->GetLabel().StartsWith("Isocentre calibrated on "));
    matrix16d got;
    got.inverse(res->RES_ISOCENTRE_XTRANS->value(), res->RES_ISOCENTRE_YTRANS->value(),
                res->RES_ISOCENTRE_ZTRANS->value(), res->RES_ISOCENTRE_AZIMUTH->value(),
                res->RES_ISOCENTRE_ELEVATION->value(), res->RES_ISOCENTRE_ROLL->value());
    EXPECT_LT(length(column(got, 3) - column(to_world, 3)), 0.01);
    // The pointer at the isocentre reads zero there.
    const vertex3d centre = column(to_world, 3);
    pointer_at({float(centre.x), float(centre.y), float(centre.z), 0, 0, 0});
    const std::regex at_zero(R"(Location: \( +-?0\.00, +-?0\.00, +-?0\.00\) mm)");
    EXPECT_TRUE(std::regex_match(p.location->GetLabel().ToStdString(), at_zero)) << p.location->GetLabel();

    // Reset clears the points; three give no solve.
    click(p.reset);
    EXPECT_FALSE(isocentre_fiducials(landmarks_from_session())[0]);
    click(p.fiducials[0]);
    click(p.get);
    EXPECT_EQ(p.message->GetLabel(), "At least four fiducials are needed.");
}

TEST_F(GuiPointer, CalWithPointerAcceptsTipsAndRefusesBadTemperatures)
{
    start({});
    res->RES_BUF_WIDTH->write(640);
    res->RES_BUF_HEIGHT->write(480);
    auto& p = page<point_cal_page>(ID_TASK_POINT_CAL);
    EXPECT_EQ(p.accept->GetLabel(), "         No valid point");
    click(p.accept);
    EXPECT_TRUE(p.accepted().empty());
    // A stylus tip in the live frame, the pointer's tip in the world.
    cip_t image = cip_t::make_8bit(640, 480);
    std::fill(image.pixels(), image.pixels() + image.pixel_count(), 10);
    for (long y = 200; y < 300; ++y)
        for (long x = 318; x <= 322; ++x)
            image.pixels()[y * 640 + x] = std::uint8_t(y == 200 ? 255 : 200 - (y - 200));
    counted_array_ptr<float> probe(6), pointer(6);
    for (int i = 0; i < 6; ++i)
        probe[i] = pointer[i] = float(i);
    for (int i = 0; i < 3; ++i) {
        frame().feed_calibration(image, probe, pointer, 100 + i);
        EXPECT_EQ(p.accept->GetLabel(), "  Accept point for calibration");
        click(p.accept);
    }
    EXPECT_EQ(p.count->GetLabel(), "Currently have 3 points.");
    // Three views of one point from one pose calibrate nothing.
    EXPECT_EQ(res->RES_CAL_MESSAGE_1->value(), "No new calibration.");
    EXPECT_FALSE(p.solved());
    click(p.remove_last);
    EXPECT_EQ(p.count->GetLabel(), "Currently have 2 points.");
    click(p.clear);
    EXPECT_EQ(p.count->GetLabel(), "Currently have 0 points.");
    // Without a pointer reading there is no tip to accept.
    frame().feed_calibration(image, probe, {}, 200);
    EXPECT_EQ(p.accept->GetLabel(), "         No valid point");

    p.temperature->ChangeValue("95");
    wxCommandEvent enter(wxEVT_TEXT_ENTER, p.temperature->GetId());
    p.temperature->ProcessWindowEvent(enter);
    EXPECT_TRUE(log->contains("The temperature must be in the range 1-90 celcius", wxLOG_Warning));
    EXPECT_EQ(res->RES_CAL_TEMPERATURE->value(), 10.0);
}

}  // namespace
