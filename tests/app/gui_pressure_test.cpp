// The Pressure pages on the correction demo: a sweep corrected from its
// images with pressure, shown and taken out again from the visual page,
// accepted only after the unsaved-changes question, and a rejected run
// leaving the recording as it was.
#include <cstdlib>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/notebook.h>
#include <wx/stattext.h>

#include "app/ids.h"
#include "app/pages/pressure_pages.h"
#include "common/dynabuf.h"
#include "gui_fixture.h"
#include "resources/resource_table.h"

namespace {

void click(wxButton* b)
{
    wxCommandEvent e(wxEVT_BUTTON, b->GetId());
    e.SetEventObject(b);
    b->ProcessWindowEvent(e);
}

template <typename Page>
Page& find_page(wxNotebook* book)
{
    for (std::size_t i = 0; i < book->GetPageCount(); ++i)
        if (auto* p = dynamic_cast<Page*>(book->GetPage(i)))
            return *p;
    throw std::runtime_error("page missing");
}

std::vector<std::vector<float>> poses()
{
    std::vector<std::vector<float>> all;
    for (long i = 0; i < bufp->frames(); ++i) {
        const auto p = bufp->positioncp(i);
        all.emplace_back(p.get(), p.get() + 6);
    }
    return all;
}

TEST_F(GuiTest, PressurePagesCorrectShowAcceptAndReject)
{
    const std::string make = std::string(KS_TOOL) + " make-demo '" + dir.ToStdString() +
                             "/corr' --correction --frames 80 --size 96x72 --pressure 1 --quiet > /dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0);
    start({dir + "/corr/kestrane_demo_correction.ks"});
    ASSERT_EQ(bufp->frames(), 80);
    auto& task = find_page<pressure_task_page>(frame().task_notebook());
    auto& visual = find_page<pressure_visual_page>(frame().visual_notebook());
    EXPECT_EQ(visual.status->GetLabel(), "No valid correction");
    EXPECT_FALSE(task.accept->IsEnabled());
    ASSERT_EQ(task.sweep->GetCount(), 1u);

    const auto recorded = poses();
    click(task.correct_pressure);
    EXPECT_TRUE(task.movement->GetLabel().StartsWith("Maximum data movement:\n")) << task.movement->GetLabel();
    EXPECT_TRUE(task.movement->GetLabel().Contains("mm due to pressure correction"));
    pump(50);
    EXPECT_EQ(visual.status->GetLabel(), "Pressure correction available");
    EXPECT_EQ(poses(), recorded) << "nothing changes before it is applied";

    click(visual.apply);
    pump(50);
    EXPECT_EQ(visual.status->GetLabel(), "Pressure correction available and applied");
    const auto corrected = poses();
    EXPECT_NE(corrected, recorded);
    click(visual.remove);
    pump(50);
    EXPECT_EQ(poses(), recorded);
    EXPECT_EQ(visual.status->GetLabel(), "Pressure correction available");

    // Accepting over unsaved changes asks first; Cancel keeps it pending.
    click(visual.apply);
    script.answers.push_back(answer_t::cancel);
    script.asked.clear();
    click(task.accept);
    ASSERT_FALSE(script.asked.empty());
    EXPECT_TRUE(
        script.asked.back().StartsWith("Correct un-saved data: The current file has not been completely saved."))
        << script.asked.back();
    EXPECT_TRUE(res->RES_CORRELATION->value());
    script.answers.push_back(answer_t::ok);
    click(task.accept);
    pump(50);
    EXPECT_FALSE(res->RES_CORRELATION->value());
    EXPECT_EQ(visual.status->GetLabel(), "No valid correction");
    EXPECT_EQ(poses(), corrected) << "the accepted data are the ones shown";
    EXPECT_TRUE(res->RES_CORRECTED_PRESSURE->value());

    // A rejected run leaves the data as they are.
    click(task.correct);
    ASSERT_TRUE(res->RES_CORRELATION->value());
    click(visual.apply);
    click(task.reject);
    pump(50);
    EXPECT_FALSE(res->RES_CORRELATION->value());
    EXPECT_EQ(poses(), corrected);
    script.answers.push_back(answer_t::ok);  // closing asks about the unsaved correction
}

}  // namespace
