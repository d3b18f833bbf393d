// The Fit shape model page as a user drives it on the demo recording: a
// broken model file refused and the model cleared, each "First ..." notice,
// the demo model fitted to the ellipsoid's outlines (the fit brings it
// closer), flipped, cut back into outlines and saved.
#include <cmath>
#include <limits>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/ffile.h>
#include <wx/filename.h>
#include <wx/notebook.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "app/pages/shape_model_page.h"
#include "common/vertex_math.h"
#include "demo/shape_model_demo.h"
#include "gui_fixture.h"
#include "models/fit_model_session.h"
#include "resources/resource_table.h"

namespace {

void click(wxButton* b)
{
    wxCommandEvent e(wxEVT_BUTTON, b->GetId());
    e.SetEventObject(b);
    b->ProcessWindowEvent(e);
}

class GuiShapeModel : public GuiTest {
protected:
    shape_model_page& page()
    {
        for (std::size_t i = 0; i < frame().task_notebook()->GetPageCount(); ++i)
            if (auto* p = dynamic_cast<shape_model_page*>(frame().task_notebook()->GetPage(i)))
                return *p;
        throw std::runtime_error("no shape model page");
    }
    wxString last_notice() const { return script.asked.empty() ? wxString() : script.asked.back(); }
};

// The mean distance from the target points to the nearest vertex of the fitted surface.
double mean_miss(const fit_model& model)
{
    double sum = 0.0;
    for (const vertex3d& t : model.target_points()) {
        double best = std::numeric_limits<double>::max();
        for (const surface_point_t& p : model.warped().points)
            best = std::min(best, length(p.position - t));
        sum += best;
    }
    return sum / static_cast<double>(std::max<std::size_t>(1, model.target_points().size()));
}

TEST_F(GuiShapeModel, FitsTheDemoModelToAnObjectAndCutsItBack)
{
    start({demo});
    shape_model_page& p = page();
    EXPECT_EQ(p.current->GetLabel(), "none");

    click(p.start);
    EXPECT_EQ(last_notice(), "Fit shape model: First load a shape model\n");

    // A file that is no PLY: refused, and the model stays cleared.
    wxFFile(dir + "/broken.ply", "w").Write("ply\nformat ascii 1.0\nelement vertex lots\n");
    script.files.push_back(file_choice_t{dir + "/broken.ply", 0});
    click(p.load);
    EXPECT_EQ(last_notice(), "Fit shape model: Could not parse ply file\nShape model cleared");
    EXPECT_EQ(p.current->GetLabel(), "none");

    const shape_model_demo_t model_demo = make_shape_model_demo(400, 4);
    ASSERT_TRUE(write_shape_model_demo(dir, model_demo, shape_instance_options_t{}));
    script.files.push_back(file_choice_t{dir + "/" + shape_model_demo_name, 0});
    click(p.load);
    pump(50);
    EXPECT_EQ(p.current->GetLabel(), shape_model_demo_name);
    const std::shared_ptr<fit_model> model = fit_model_from_session();
    ASSERT_TRUE(model->loaded());

    click(p.start);
    EXPECT_EQ(last_notice(), "Fit shape model: First map some points from one of the objects");

    p.points_from->SetSelection(0);  // the ellipsoid, outlined on every 10th frame
    click(p.initialize);
    ASSERT_GT(model->target_points().size(), 50u);
    const double initial = mean_miss(*model);

    // A search range that is not a number changes nothing.
    const double scale = model->scale();
    p.range->SetValue("nan");
    click(p.start);
    EXPECT_TRUE(last_notice().Contains("search range")) << last_notice();
    EXPECT_EQ(model->scale(), scale);

    p.range->SetValue("5");  // in the unit its label shows
    p.iterations->SetValue(8);
    script.progress_captions.clear();
    click(p.start);
    ASSERT_FALSE(script.progress_captions.empty());
    EXPECT_EQ(script.progress_captions.back(), "Shape model registration");
    EXPECT_EQ(model->settings.iterations, 8);
    const double fitted = mean_miss(*model);
    EXPECT_LT(fitted, 0.8 * initial) << "the fit brings the model to the outlines";
    EXPECT_TRUE(p.status->GetLabel().Contains("RMS"));

    click(p.flip);
    EXPECT_TRUE(model->reflected());
    click(p.flip);
    EXPECT_FALSE(model->reflected());

    // Back into outlines of an empty object, on every 5th frame.
    const int target_object = 7;
    p.contours_to->SetSelection(target_object);
    p.every->SetValue(5);
    click(p.make_contours);
    const auto& objects = res->RES_OBJECT->value();
    ASSERT_TRUE(objects);
    long frames_cut = 0;
    for (const contour_set& s : (*objects)[target_object].sets) {
        EXPECT_EQ(s.frame % 5, 0) << s.frame;
        frames_cut += !s.contours.empty();
    }
    EXPECT_GT(frames_cut, 0);

    script.files.push_back(file_choice_t{dir + "/fitted", 1});  // PLY filter, no suffix typed
    click(p.save);
    EXPECT_TRUE(wxFileName::FileExists(dir + "/fitted.ply"));
    EXPECT_GT(wxFileName::GetSize(dir + "/fitted.ply").ToULong(), 1000u);
}

}  // namespace
