// The Thickness pages driven as a user would: techniques writing their
// switches and fixing their controls, typed values checked, and on a made CT
// volume of a flat cortex 2.5 mm thick, the map over a surface, its colours
// on the surface in the 3D view, a picked point's thickness and profile, the
// results saved and loaded, and the density plot saved as PNG. Also the
// colour scale itself, headless.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/ffile.h>
#include <wx/filename.h>
#include <wx/notebook.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "app/ids.h"
#include "thickness/thickness_colours.h"
#include "app/pages/thickness_density_dialog.h"
#include "app/pages/thickness_task_page.h"
#include "app/pages/thickness_visual_page.h"
#include "app/views/plot_panel.h"
#include "app/views/review_canvas.h"
#include "app/views/view3d_canvas.h"
#include "common/dynabuf.h"
#include "common/vertex_math.h"
#include "gui_fixture.h"
#include "resources/resource_table.h"
#include "surfaces/mesh_hit.h"
#include "surfaces/surface_interp.h"
#include "thickness/derived_surfaces.h"
#include "thickness/thickness_actions.h"
#include "thickness/thickness_session.h"
#include "thickness/thickness_settings.h"
#include "volumes/dicom_loader.h"

namespace {

// The phantom: 0.5 mm voxels, bone at small x, its cortex from voxel 45 to the
// surface at voxel 50 (x = 2.5 cm), 1600 HU under a 2 mm blur, 200 HU inside.
constexpr int nx = 80, ny = 40, nz = 20;
constexpr double voxel_mm = 0.5, cortex_mm = 2.5, surface_cm = 2.5;

class GuiThickness : public GuiTest {
protected:
    template <class Page>
    static Page* find_page(wxNotebook* book)
    {
        for (std::size_t i = 0; i < book->GetPageCount(); ++i)
            if (auto* p = dynamic_cast<Page*>(book->GetPage(i)))
                return p;
        return nullptr;
    }
    thickness_task_page* task() { return find_page<thickness_task_page>(frame().task_notebook()); }
    thickness_visual_page* visual_page() { return find_page<thickness_visual_page>(frame().visual_notebook()); }

    void choose(wxChoice* c, int i)
    {
        c->SetSelection(i);
        wxCommandEvent e(wxEVT_CHOICE, c->GetId());
        e.SetEventObject(c);
        e.SetInt(i);
        c->ProcessWindowEvent(e);
        pump(20);
    }
    void type(wxTextCtrl* field, const wxString& text)
    {
        field->ChangeValue(text);
        wxCommandEvent e(wxEVT_TEXT_ENTER, field->GetId());
        e.SetEventObject(field);
        field->ProcessWindowEvent(e);
        pump(20);
    }
    void tick(wxCheckBox* c, bool on)
    {
        c->SetValue(on);
        wxCommandEvent e(wxEVT_CHECKBOX, c->GetId());
        e.SetEventObject(c);
        e.SetInt(on);
        c->ProcessWindowEvent(e);
        pump(20);
    }
    void spin_to(wxSpinCtrl* s, int v)
    {
        s->SetValue(v);
        wxSpinEvent e(wxEVT_SPINCTRL, s->GetId());
        e.SetEventObject(s);
        e.SetPosition(v);
        s->ProcessWindowEvent(e);
        pump(20);
    }
    void press(wxButton* b)
    {
        wxCommandEvent e(wxEVT_BUTTON, b->GetId());
        e.SetEventObject(b);
        b->ProcessWindowEvent(e);
        pump(50);
    }

    // The phantom as a NRRD file, loaded as the session's frames.
    void load_phantom()
    {
        const double sigma = 2.0 / 2.3548200450309493 / voxel_mm;
        const auto phi = [](double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); };
        std::vector<std::int16_t> row(nx);
        for (int x = 0; x < nx; ++x)
            row[std::size_t(x)] =
                std::int16_t(std::lround(1600.0 * phi((50 - x) / sigma) + (200.0 - 1600.0) * phi((45 - x) / sigma)));
        const wxString path = dir + "/ct.nrrd";
        std::ofstream out(path.ToStdString(), std::ios::binary);
        out << "NRRD0004\ntype: short\ndimension: 3\nspace: left-posterior-superior\nsizes: " << nx << " " << ny << " "
            << nz << "\nspace directions: (0.5,0,0) (0,0.5,0) (0,0,0.5)\nspace origin: (0,0,0)\nendian: little\n"
            << "encoding: raw\n\n";
        for (int k = 0; k < ny * nz; ++k)
            out.write(reinterpret_cast<const char*>(row.data()), std::streamsize(row.size() * sizeof(row[0])));
        out.close();
        ASSERT_TRUE(load_volume_file(path));
        pump(100);
        ASSERT_EQ(bufp->frames(), nz);
    }

    // A closed pyramid: its base a 6 x 5 grid on the bone's surface facing +x
    // (out of the bone), its apex inside the bone. Surface slot 0.
    std::shared_ptr<surface_interp> make_surface()
    {
        surface_mesh_t m;
        constexpr std::uint32_t cols = 6, rows = 5;
        for (std::uint32_t j = 0; j < rows; ++j)
            for (std::uint32_t i = 0; i < cols; ++i)
                m.points.push_back({{surface_cm, 0.5 + 0.2 * i, 0.2 + 0.125 * j}, {1, 0, 0}});
        for (std::uint32_t j = 0; j + 1 < rows; ++j)
            for (std::uint32_t i = 0; i + 1 < cols; ++i) {
                const std::uint32_t a = j * cols + i;
                m.triangles.push_back({{a, a + 1, a + cols + 1}});
                m.triangles.push_back({{a, a + cols + 1, a + cols}});
            }
        const auto apex = std::uint32_t(m.points.size());
        m.points.push_back({{surface_cm - 0.7, 1.0, 0.45}, {-1, 0, 0}});
        std::vector<std::uint32_t> rim;
        for (std::uint32_t i = 0; i < cols; ++i)
            rim.push_back(i);
        for (std::uint32_t j = 1; j < rows; ++j)
            rim.push_back(j * cols + cols - 1);
        for (std::uint32_t i = cols - 1; i-- > 0;)
            rim.push_back((rows - 1) * cols + i);
        for (std::uint32_t j = rows - 1; j-- > 1;)
            rim.push_back(j * cols);
        for (std::size_t k = 0; k < rim.size(); ++k)
            m.triangles.push_back({{rim[(k + 1) % rim.size()], rim[k], apex}});
        std::shared_ptr<surface_interp> s = surface_interp::from_mesh(std::move(m), 0);
        if (s)
            res->RES_SURFACE[0]->write(s);
        pump(50);
        return s;
    }

    // Points of the base away from its rim: their normals are the face's.
    static bool inner_point(std::size_t i) { return i < 30 && i % 6 != 0 && i % 6 != 5 && i >= 6 && i < 24; }

    // Pixels of a picture within `tolerance` of colour c in every channel.
    static long pixels_near(const wxImage& image, const rgb_t& c, int tolerance)
    {
        long n = 0;
        for (int y = 0; y < image.GetHeight(); ++y)
            for (int x = 0; x < image.GetWidth(); ++x)
                n += std::abs(image.GetRed(x, y) - c.r) <= tolerance &&
                     std::abs(image.GetGreen(x, y) - c.g) <= tolerance &&
                     std::abs(image.GetBlue(x, y) - c.b) <= tolerance;
        return n;
    }
    // The column holding most pixels of colour c; -1 for none.
    static int densest_column(const wxImage& image, const rgb_t& c)
    {
        int best = -1;
        long most = 0;
        for (int x = 0; x < image.GetWidth(); ++x) {
            long n = 0;
            for (int y = 0; y < image.GetHeight(); ++y)
                n += image.GetRed(x, y) == c.r && image.GetGreen(x, y) == c.g && image.GetBlue(x, y) == c.b;
            if (n > most) {
                most = n;
                best = x;
            }
        }
        return best;
    }
    // The picked point's mark: a white dot in a black ring about window point p.
    static bool marked_at(const wxImage& image, const wxPoint& p)
    {
        const auto grey_at = [&](int dx, int dy, int grey) {
            const int x = p.x + dx, y = p.y + dy;
            return x >= 0 && y >= 0 && x < image.GetWidth() && y < image.GetHeight() && image.GetRed(x, y) == grey &&
                   image.GetGreen(x, y) == grey && image.GetBlue(x, y) == grey;
        };
        for (int d = -2; d <= 2; ++d)
            if (!grey_at(d, 0, 255) || !grey_at(0, d, 255))
                return false;
        return grey_at(-4, 0, 0) && grey_at(4, 0, 0) && grey_at(0, -4, 0) && grey_at(0, 4, 0);
    }
};

// The technique's choice writes its switches and hands the controls it set
// to it; "Manual" gives them back. A technique set by a script shows the same.
TEST_F(GuiThickness, TechniquesWriteTheirSwitchesAndFixTheirControls)
{
    start({});
    thickness_task_page* page = task();
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->technique->GetCount(), 8u);
    EXPECT_EQ(page->technique->GetString(7), "HRTC");

    choose(page->technique, 7);  // HRTC: thresholding with the endocortical model, a bundle of lines
    EXPECT_EQ(res->RES_THICKNESS_TYPE->value(), 7);
    EXPECT_TRUE(res->RES_THICKNESS_THRESHOLD->value());
    EXPECT_TRUE(res->RES_THICKNESS_ENDO_MODEL->value());
    EXPECT_FALSE(res->RES_THICKNESS_POST_BLUR->value());
    EXPECT_EQ(res->RES_THICKNESS_B->value(), thickness_unknown);
    EXPECT_EQ(res->RES_THICKNESS_WIDTH->value(), 4);
    EXPECT_TRUE(page->threshold->GetValue());
    EXPECT_EQ(page->line_width->GetValue(), 4);
    EXPECT_EQ(page->cortical_density->GetValue(), "");  // estimated shows as empty
    for (wxWindow* w : {(wxWindow*)page->threshold, (wxWindow*)page->endo_model, (wxWindow*)page->cortical_density,
                        (wxWindow*)page->in_plane_fwhm})
        EXPECT_FALSE(w->IsEnabled()) << w->GetLabel();
    EXPECT_TRUE(page->line_width->IsEnabled());  // a bundle to start from, the width left to the user
    EXPECT_TRUE(page->in_frame->IsEnabled());
    EXPECT_TRUE(page->line_length->IsEnabled());

    choose(page->technique, 4);  // CBM v2: density corrected for the blur, the levels around it estimated
    EXPECT_TRUE(res->RES_THICKNESS_POST_BLUR->value());
    EXPECT_FALSE(res->RES_THICKNESS_THRESHOLD->value());
    EXPECT_FALSE(page->outer_density->IsEnabled());
    EXPECT_FALSE(page->inner_density->IsEnabled());
    EXPECT_TRUE(page->cortical_density->IsEnabled());
    EXPECT_TRUE(page->in_plane_fwhm->IsEnabled());
    EXPECT_TRUE(page->line_width->IsEnabled());

    choose(page->technique, 0);  // Manual: nothing fixed, the switches as they were
    EXPECT_EQ(res->RES_THICKNESS_TYPE->value(), 0);
    EXPECT_TRUE(res->RES_THICKNESS_POST_BLUR->value());
    for (thickness_control_t c :
         {thickness_control_t::threshold, thickness_control_t::fwhm, thickness_control_t::post_blur,
          thickness_control_t::local_density, thickness_control_t::endo_model, thickness_control_t::a,
          thickness_control_t::b, thickness_control_t::c, thickness_control_t::gauss, thickness_control_t::rect,
          thickness_control_t::width})
        EXPECT_TRUE(page->control_for(c)->IsEnabled()) << int(c);

    // Settings changed elsewhere (a script, a loaded recording): the controls follow.
    res->RES_THICKNESS_RECT->write(1.5);
    choose_thickness_technique(2);
    res->RES_THICKNESS_LINE->write(2.4);
    pump(20);
    EXPECT_EQ(page->technique->GetSelection(), 2);
    EXPECT_TRUE(page->fwhm->GetValue());
    EXPECT_FALSE(page->fwhm->IsEnabled());
    EXPECT_EQ(page->line_length->GetValue(), "24");
    EXPECT_EQ(page->out_plane_fwhm->GetValue(), "");  // FWHM estimates the out-of-plane blur too
    choose_thickness_technique(0);
    res->RES_THICKNESS_RECT->write(1.5);
    pump(20);
    EXPECT_EQ(page->out_plane_fwhm->GetValue(), "1.5");
    EXPECT_TRUE(page->out_plane_fwhm->IsEnabled());
}

// Typed numbers reach the settings in the settings' units; refused ones are
// said why and the field shows the setting again.
TEST_F(GuiThickness, TypedValuesGoToTheSettingsAndBadOnesAreRefused)
{
    start({});
    thickness_task_page* page = task();
    ASSERT_NE(page, nullptr);

    type(page->line_length, "25");
    EXPECT_DOUBLE_EQ(res->RES_THICKNESS_LINE->value(), 2.5);  // mm typed, cm held
    for (const char* bad : {"-3", "0", "nan", "inf", "twelve", "1e6"}) {
        log->clear();
        type(page->line_length, bad);
        EXPECT_DOUBLE_EQ(res->RES_THICKNESS_LINE->value(), 2.5) << bad;
        EXPECT_EQ(page->line_length->GetValue(), "25") << bad;
        EXPECT_TRUE(log->contains("line length must be", wxLOG_Warning)) << bad;
    }

    type(page->cortical_density, " 1750 ");
    EXPECT_DOUBLE_EQ(res->RES_THICKNESS_B->value(), 1750.0);
    EXPECT_EQ(page->cortical_density->GetValue(), "1750");
    type(page->cortical_density, "Estimated");
    EXPECT_EQ(res->RES_THICKNESS_B->value(), thickness_unknown);
    EXPECT_EQ(page->cortical_density->GetValue(), "");
    type(page->outer_density, "-40");
    EXPECT_DOUBLE_EQ(res->RES_THICKNESS_A->value(), -40.0);
    type(page->outer_density, "");
    EXPECT_EQ(res->RES_THICKNESS_A->value(), thickness_unknown);
    type(page->in_plane_fwhm, "1.2");
    EXPECT_DOUBLE_EQ(res->RES_THICKNESS_GAUSS->value(), 1.2);
    for (const char* bad : {"0", "-1", "nan", "blurry"}) {
        log->clear();
        type(page->in_plane_fwhm, bad);
        EXPECT_DOUBLE_EQ(res->RES_THICKNESS_GAUSS->value(), 1.2) << bad;
        EXPECT_EQ(page->in_plane_fwhm->GetValue(), "1.2") << bad;
        EXPECT_TRUE(log->contains("FWHM must be", wxLOG_Warning)) << bad;
    }
    type(page->out_plane_fwhm, "0");  // no out-of-plane blur is a blur of 0
    EXPECT_DOUBLE_EQ(res->RES_THICKNESS_RECT->value(), 0.0);
    log->clear();
    type(page->inner_density, "1e300");
    EXPECT_EQ(res->RES_THICKNESS_C->value(), thickness_unknown);
    EXPECT_TRUE(log->contains("density must be", wxLOG_Warning));

    // A field left as shown keeps its setting, though it shows it rounded.
    res->RES_THICKNESS_B->write(1587.342156);
    res->RES_THICKNESS_LINE->write(1.23456789);
    pump(20);
    EXPECT_EQ(page->cortical_density->GetValue(), "1587.34");
    type(page->cortical_density, page->cortical_density->GetValue());
    type(page->line_length, page->line_length->GetValue());
    EXPECT_EQ(res->RES_THICKNESS_B->value(), 1587.342156);
    EXPECT_EQ(res->RES_THICKNESS_LINE->value(), 1.23456789);

    // The line width in pixels, its label in mm at the pixel size held.
    res->RES_XSCALE->write(0.05);
    spin_to(page->line_width, 3);
    EXPECT_EQ(res->RES_THICKNESS_WIDTH->value(), 3);
    EXPECT_EQ(page->line_width_label->GetLabel(), "Line width (pixels), currently 1.50 mm:");
    res->RES_XSCALE->write(0.02);
    pump(20);
    EXPECT_EQ(page->line_width_label->GetLabel(), "Line width (pixels), currently 0.60 mm:");

    tick(page->metal, true);
    tick(page->create_caps, true);
    spin_to(page->outlier_angle, 25);
    EXPECT_TRUE(res->RES_THICKNESS_METAL->value());
    EXPECT_TRUE(res->RES_THICKNESS_CREATE_CAPS->value());
    EXPECT_EQ(res->RES_THICKNESS_OUTLIER_REJECT->value(), 25);
    EXPECT_FALSE(res->RES_THICKNESS_INNER_LAYER->value());
}

// The whole round on the phantom: map, colour, pick, save and load, the
// derived surfaces, and the density estimate's plot saved as PNG.
TEST_F(GuiThickness, MapColourPickSaveAndPlotOnACortex)
{
    start({});
    load_phantom();
    const std::shared_ptr<surface_interp> surface = make_surface();
    ASSERT_TRUE(surface);
    const std::size_t points = thickness::mesh_of(*surface).points.size();
    ASSERT_EQ(points, 31u);
    thickness_task_page* page = task();
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->surface->GetCount(), 2u);  // "(none)" and the pyramid
    choose(page->surface, 1);
    EXPECT_EQ(thickness_surface_object(), 0);
    type(page->cortical_density, "1600");
    type(page->in_plane_fwhm, "2");

    press(page->map);
    const thickness_results_t* results = thickness_session().results(0);
    ASSERT_NE(results, nullptr);
    ASSERT_EQ(results->points(), points);
    for (std::size_t i = 0; i < points; ++i) {
        if (inner_point(i)) {
            EXPECT_NEAR(results->values[thickness_results_t::thick][i], cortex_mm, 0.08) << i;
        }
    }
    EXPECT_TRUE(page->status->GetLabel().StartsWith("Thickness mapped: 31 points")) << page->status->GetLabel();

    // Coloured on the surface; grey through the grey map at the value's place on the 4 mm scale.
    thickness_visual_page* shown = visual_page();
    ASSERT_NE(shown, nullptr);
    ASSERT_EQ(surface->get_seq().size(), 1u);
    ASSERT_TRUE(surface->get_seq()[0].mesh.coloured());
    view3d_canvas* view = frame().view3d();
    res->RES_OUTLINE_VIEW_ANGLE->write(1);  // along x, from the outside of the bone
    pump(50);
    const wxImage rainbow = view->grab();
    choose(shown->colour_map, 1);
    EXPECT_EQ(res->RES_THICKNESS_DISP_COL->value(), 1);
    for (std::size_t i = 0; i < points; ++i)
        if (inner_point(i)) {
            const rgb_t c = surface->get_seq()[0].mesh.colours[i];
            EXPECT_EQ(c.r, c.g);
            EXPECT_NEAR(c.r, 255.0 * results->values[thickness_results_t::thick][i] / 4.0, 1.0) << i;
        }
    const wxImage grey = view->grab();
    long differing = 0;
    for (int y = 0; y < grey.GetHeight(); ++y)
        for (int x = 0; x < grey.GetWidth(); ++x)
            differing += grey.GetRed(x, y) != rainbow.GetRed(x, y) || grey.GetBlue(x, y) != rainbow.GetBlue(x, y);
    EXPECT_GT(differing, 50) << "the 3D view shows the surface in its new colours";

    // A click on the surface with the visual page shown picks the point there.
    visual(ID_VISUAL_THICKNESS);
    tick(shown->data, true);
    tick(shown->function, true);
    const std::size_t target = 14;  // mid-face
    ASSERT_TRUE(inner_point(target));
    const vertex3d at = thickness::mesh_of(*surface).points[target].position;
    const wxPoint pixel = view->project(at);
    mesh_hit_t hit;
    const auto [near_point, far_point] = view->pick_segment(pixel);
    ASSERT_TRUE(surface->surface_intersection(near_point, far_point, &hit));
    ASSERT_LT(length(hit.point - at), 0.02) << "the face is the first thing under the mouse";
    for (wxEventType t : {wxEVT_LEFT_DOWN, wxEVT_LEFT_UP}) {
        wxMouseEvent e(t);
        e.m_x = pixel.x;
        e.m_y = pixel.y;
        e.m_leftDown = t == wxEVT_LEFT_DOWN;
        view->ProcessWindowEvent(e);
    }
    pump(50);
    EXPECT_EQ(shown->picked_object(), 0);
    EXPECT_EQ(shown->picked_point(), target);
    // Marked in the 3D view where it lies.
    ASSERT_TRUE(shown->picked_position());
    EXPECT_EQ(*shown->picked_position(), at);
    EXPECT_TRUE(marked_at(view->grab(), pixel)) << "the picked point is marked";
    const wxString text = shown->picked_text->GetLabel();
    double said = 0.0, error = 0.0;
    ASSERT_EQ(std::sscanf(text.utf8_str(), "Thickness is %lf +/- %lf mm", &said, &error), 2) << text;
    EXPECT_NEAR(said, results->values[thickness_results_t::thick][target], 0.005);
    EXPECT_NEAR(said, cortex_mm, 0.08);
    EXPECT_NEAR(error, results->values[thickness_results_t::thick_error][target], 0.005);
    const std::size_t with_data = shown->profile->plot().series.size();
    EXPECT_GE(with_data, 2u);  // the data and the fitted function
    tick(shown->data, false);
    EXPECT_EQ(shown->profile->plot().series.size(), with_data - 1);
    EXPECT_EQ(shown->picked_text->GetLabel(), text);

    // Results saved, dropped and loaded again; the derived surfaces written.
    const wxString base = thickness_file_base(0);
    press(page->save);
    for (const wxString& name : thickness_file_names(base))
        EXPECT_TRUE(wxFileName::FileExists(name)) << name;
    const std::vector<double> mapped = results->values[thickness_results_t::thick];
    thickness_session().clear(0);
    ASSERT_EQ(thickness_session().results(0), nullptr);
    EXPECT_FALSE(shown->picked_position());
    EXPECT_FALSE(marked_at(view->grab(), pixel)) << "no mark once the results are gone";
    press(page->load);
    ASSERT_NE(thickness_session().results(0), nullptr);
    EXPECT_EQ(thickness_session().results(0)->values[thickness_results_t::thick], mapped);
    press(page->create);
    for (derived_surface_t kind : {derived_surface_t::outer, derived_surface_t::inner, derived_surface_t::cortex,
                                   derived_surface_t::smoothed_thickness})
        EXPECT_TRUE(wxFileName::FileExists(base + derived_surface_suffix(kind) + ".ply")) << int(kind);

    // Too thin a cortex for its blur to estimate the density from: the raw data shown when asked for, and saved.
    script.answers.push_back(answer_t::yes);  // "Show raw data?"
    press(page->estimate_density);
    thickness_density_dialog* dialog = page->density_dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->IsShown());
    EXPECT_FALSE(dialog->plot->plot().series.empty());
    EXPECT_EQ(dialog->default_path(), base + "_density.png");
    press(dialog->save);
    wxFFile png(base + "_density.png", "rb");
    ASSERT_TRUE(png.IsOpened());
    unsigned char magic[8] = {};
    ASSERT_EQ(png.Read(magic, 8), 8u);
    EXPECT_EQ(std::memcmp(magic, "\x89PNG\r\n\x1a\n", 8), 0);
    png.Close();
    // Again: the existing picture is replaced only when the user says so.
    script.answers.push_back(answer_t::no);
    const std::size_t asked = script.asked.size();
    press(dialog->save);
    ASSERT_EQ(script.asked.size(), asked + 1);
    EXPECT_TRUE(script.asked.back().Contains("already exists"));
    choose(dialog->which, 1);
    EXPECT_EQ(dialog->default_path(), base + "_density_distribution.png");
    dialog->Close();
    pump(50);
    EXPECT_EQ(page->density_dialog(), nullptr);
}

// The review window shows the surface's cut through a frame in the shown
// thickness once it is mapped, following the colour map; without results,
// the plain intercept in the object's colour again.
TEST_F(GuiThickness, FramesShowTheCutInThickness)
{
    start({});
    load_phantom();
    const std::shared_ptr<surface_interp> surface = make_surface();
    ASSERT_TRUE(surface);
    thickness_task_page* page = task();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(choose_thickness_surface(0));
    type(page->cortical_density, "1600");
    type(page->in_plane_fwhm, "2");

    // Frame 8 (z = 0.4 cm) crosses the base between its rows at z 0.325 and 0.45 cm.
    res->RES_BUF_CURRENT_FRAME->write(8);
    pump(100);
    review_canvas* review = frame().review();
    const thickness_scale_t scale = thickness_scale_from_settings();
    ASSERT_EQ(scale.map, 0);  // the rainbow: 2.5 of 4 mm between green and yellow
    const rgb_t mapped = scale_colour(*scale_fraction(cortex_mm, scale), scale.map);
    const rgb_t object = (*res->RES_OBJECT->value())[0].colour;
    constexpr int tolerance = 40;  // the fitted thickness is within 0.08 mm of the cortex's
    ASSERT_GT(std::abs(int(mapped.r) - int(object.r)) + std::abs(int(mapped.g) - int(object.g)) +
                  std::abs(int(mapped.b) - int(object.b)),
              3 * tolerance)
        << "the object's own colour could pass for the thickness";
    const wxImage before = review->grab();
    EXPECT_EQ(pixels_near(before, mapped, tolerance), 0);
    const long plain = pixels_near(before, object, 0);
    EXPECT_GT(plain, 20) << "the surface's plain intercept";

    press(page->map);
    ASSERT_NE(thickness_session().results(0), nullptr);
    const wxImage after = review->grab();
    EXPECT_GT(pixels_near(after, mapped, tolerance), 60) << "the base's cut, about 12 frame pixels long";
    EXPECT_LT(pixels_near(after, object, 0), plain / 4) << "in thickness instead of the object's colour";

    // Another colour map redraws the frame in its colours.
    res->RES_REVIEW_UPDATE_PENDING->write(false);
    res->RES_THICKNESS_DISP_COL->write(2);
    EXPECT_TRUE(res->RES_REVIEW_UPDATE_PENDING->value()) << "the review window is asked to redraw";
    pump(50);
    const rgb_t hot = scale_colour(*scale_fraction(cortex_mm, thickness_scale_from_settings()), 2);
    const wxImage in_hot = review->grab();
    EXPECT_EQ(pixels_near(in_hot, mapped, tolerance), 0);
    // The labels' yellow lies near the hot map's colour: only what is new counts.
    EXPECT_GT(pixels_near(in_hot, hot, tolerance) - pixels_near(after, hot, tolerance), 60);
    res->RES_THICKNESS_DISP_COL->write(0);
    pump(50);

    // Results gone: the plain intercept again.
    thickness_session().clear(0);
    res->RES_REDISPLAY_THICKNESS->write();
    pump(50);
    const wxImage cleared = review->grab();
    EXPECT_EQ(pixels_near(cleared, mapped, tolerance), 0);
    EXPECT_EQ(pixels_near(cleared, object, 0), plain);
    // Another pixel size moves the frame's plane in space: the cut is made
    // again, the pyramid's base where the bone's surface is, x = 2.5 cm.
    for (double xs : {0.05, 0.04}) {
        res->RES_XSCALE->write(xs);
        pump(50);
        const int expected = review->frame_to_window(surface_cm / xs, 20).x;
        EXPECT_NEAR(densest_column(review->grab(), object), expected, 2) << xs;
    }
}

// A surface chosen by a script shows in the task page's "Surface:" once the
// page is turned to, though the choice gives no notice of its own.
TEST_F(GuiThickness, TaskPageFollowsTheSurfaceAScriptChose)
{
    start({});
    load_phantom();
    const std::shared_ptr<surface_interp> first = make_surface();
    ASSERT_TRUE(first);
    res->RES_SURFACE[1]->write(std::shared_ptr<surface_interp>(surface_interp::from_mesh(first->get_seq()[0].mesh, 1)));
    pump(50);
    thickness_task_page* page = task();
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->surface->GetCount(), 3u);
    menu(ID_TASK_THICKNESS);
    pump(50);
    choose(page->surface, 1);
    EXPECT_EQ(thickness_surface_object(), 0);

    menu(ID_TASK_DRAW);
    pump(50);
    ASSERT_TRUE(choose_thickness_surface(1));
    menu(ID_TASK_THICKNESS);
    pump(50);
    EXPECT_EQ(page->surface->GetStringSelection(), "Surface 1");
    // The page's own choice still goes to the session.
    choose(page->surface, 1);
    EXPECT_EQ(thickness_surface_object(), 0);
}

}  // namespace
