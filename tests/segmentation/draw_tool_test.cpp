// The Draw tool driven as the review window drives it, without a window:
// strokes, clicks, moves, merges and splits with their questions, group
// operations and segmentation clicks, each ending in one RES_OBJECT write.
#include <cmath>
#include <deque>
#include <numbers>

#include <gtest/gtest.h>

#include "common/dynabuf.h"
#include "common/functor.h"
#include "common/interaction.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "segmentation/draw_tool.h"
#include "support/session_fixture.h"

namespace {

struct write_counter : base_functor {
    int writes = 0;
    void call() override { ++writes; }
};

class answers_t : public headless_interaction_t {
public:
    std::deque<answer_t> answers;
    std::deque<std::optional<int>> choices;
    std::vector<wxString> asked;
    answer_t ask(const wxString& caption, const wxString& message, question_t, answer_t) override
    {
        asked.push_back(caption + ": " + message);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question " << message;
            return answer_t::no;
        }
        const answer_t a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<int> ask_choice(const wxString& caption, const wxString& message,
                                  const std::vector<wxString>& items) override
    {
        asked.push_back(caption + ": " + message);
        for (const wxString& i : items)
            asked.push_back(i);
        if (choices.empty()) {
            ADD_FAILURE() << "unexpected choice " << message;
            return std::nullopt;
        }
        const auto c = choices.front();
        choices.pop_front();
        return c;
    }
};

class DrawTool : public SessionTest {
protected:
    answers_t script;
    interaction_t* previous = nullptr;
    draw_tool_t tool;
    write_counter counter;

    void SetUp() override
    {
        SessionTest::SetUp();
        previous = set_interaction(&script);
        for (int i = 0; i < 3; ++i)
            bufp->append(cip_t::make_8bit(100, 80), counted_array_ptr<float>{}, 1000u * i);
        res->RES_BUF_CURRENT_FRAME->write(1);
        res->RES_OBJECT->add_proc(&counter);
    }
    void TearDown() override
    {
        res->RES_OBJECT->remove_worry(&counter);
        set_interaction(previous);
        SessionTest::TearDown();
    }
    object_table& objects() { return *res->RES_OBJECT->value(); }
    contour_set* set(int object = 0, int frame = 1) { return objects()[object].find_set(frame); }

    void circle_stroke(double cx, double cy, double r)
    {
        for (int i = 0; i <= 110; ++i) {
            const double a = 2.0 * std::numbers::pi * i / 100.0;
            const vertex2d p{cx + r * std::cos(a), cy + r * std::sin(a)};
            if (i == 0)
                tool.press(p, false);
            else if (i == 110)
                tool.release(p);
            else
                tool.drag(p);
        }
    }
    void click(const vertex2d& p, bool group = false)
    {
        tool.press(p, group);
        tool.release(p);
    }
};

TEST_F(DrawTool, StrokesClicksAndRepeats)
{
    circle_stroke(30, 30, 15);
    ASSERT_NE(set(), nullptr);
    ASSERT_EQ(set()->contours.size(), 1u);
    EXPECT_EQ(counter.writes, 1);
    EXPECT_NEAR(std::fabs(set()->contours[0].area()), std::numbers::pi * 225.0, 0.02 * std::numbers::pi * 225.0);
    // Every vertex is on the file's 0.01-pixel grid.
    for (const vertex2d& p : set()->contours[0].points) {
        EXPECT_NEAR(p.x * 100.0, std::round(p.x * 100.0), 1e-6);
        EXPECT_NEAR(p.y * 100.0, std::round(p.y * 100.0), 1e-6);
    }
    // The same stroke again adds nothing; a click on empty ground adds nothing.
    circle_stroke(30, 30, 15);
    EXPECT_EQ(set()->contours.size(), 1u);
    click({80, 70});
    EXPECT_EQ(set()->contours.size(), 1u);
    // A click on a frame of its own leaves no empty set behind.
    res->RES_BUF_CURRENT_FRAME->write(2);
    click({10, 10});
    EXPECT_EQ(objects()[0].find_set(2), nullptr);
    // Into another object.
    res->RES_BUF_CURRENT_FRAME->write(1);
    res->CURRENT_OBJECT->write(4);
    circle_stroke(70, 40, 8);
    ASSERT_NE(set(4), nullptr);
    EXPECT_EQ(set(4)->contours.size(), 1u);
}

TEST_F(DrawTool, MovingMergingAndSplitting)
{
    circle_stroke(30, 30, 10);
    circle_stroke(60, 30, 10);
    ASSERT_EQ(set()->contours.size(), 2u);
    const double area = std::fabs(set()->contours[1].area());
    // Drag the second outline by its edge to the left: it moves as a whole.
    tool.press({70, 30}, false);
    tool.drag({68, 31});
    tool.release({65, 32});
    EXPECT_NEAR(std::fabs(set()->contours[1].area()), area, 1e-9);
    double max_x = -1;
    for (const vertex2d& p : set()->contours[1].points)
        max_x = std::max(max_x, p.x);
    EXPECT_NEAR(max_x, 65.0, 0.5);
    // Now 5 pixels apart at x = 40..45: a click between them asks to merge.
    script.answers = {answer_t::no};
    click({42.5, 32});
    EXPECT_EQ(set()->contours.size(), 2u);
    script.answers = {answer_t::yes};
    click({42.5, 32});
    ASSERT_EQ(set()->contours.size(), 1u);
    EXPECT_EQ(script.asked.back(), "Contour merge: Merge contours at this point ?");
    // A click on the bridge where the outline passes itself asks to split it again.
    script.answers = {answer_t::yes};
    click({40, 30});
    EXPECT_EQ(script.asked.back(), "Contour split: Split the contour at this point ?");
    EXPECT_EQ(set()->contours.size(), 2u);
}

TEST_F(DrawTool, GroupOperations)
{
    circle_stroke(20, 20, 8);
    circle_stroke(50, 20, 8);
    res->CURRENT_OBJECT->write(2);
    circle_stroke(80, 20, 8);
    res->CURRENT_OBJECT->write(0);
    // A box around all three: re-assign them to the current object.
    script.choices = {2};
    tool.press({5, 5}, true);
    tool.drag({95, 40});
    tool.release({95, 40});
    EXPECT_EQ(script.asked[0], "Contour group operation: What do you want to do with these contours?");
    EXPECT_EQ(script.asked[3], "Re-assign them all to Object 0");
    EXPECT_EQ(script.asked.size(), 4u);  // no inside choice for several contours
    EXPECT_EQ(set()->contours.size(), 3u);
    EXPECT_EQ(set(2), nullptr);
    // Delete the middle one.
    script.choices = {0};
    tool.press({35, 5}, true);
    tool.release({65, 35});
    EXPECT_EQ(set()->contours.size(), 2u);
    // Cancelled: nothing changes.
    script.choices = {std::nullopt};
    tool.press({5, 5}, true);
    tool.release({35, 35});
    EXPECT_EQ(set()->contours.size(), 2u);
    // A box with nothing in it asks nothing.
    tool.press({40, 50}, true);
    tool.release({60, 70});
    // One big outline around a small one: delete what is inside.
    circle_stroke(50, 50, 25);
    circle_stroke(50, 50, 5);
    const std::size_t before = set()->contours.size();
    script.choices = {3};
    tool.press({20, 20}, true);
    tool.release({80, 79});
    EXPECT_EQ(script.asked.back(), "Delete all contours inside the selected contour");
    ASSERT_EQ(set()->contours.size(), before - 1);
    EXPECT_GT(std::fabs(set()->contours.back().area()), 1800.0);  // the big one stays
}

TEST_F(DrawTool, SegmentationClicks)
{
    long seen_x = -1, seen_y = -1;
    tool.set_segmenter([&](long frame, long x, long y) {
        EXPECT_EQ(frame, 1);
        seen_x = x;
        seen_y = y;
        contour_set found;
        found.frame = static_cast<std::int32_t>(frame);
        contour square;
        for (int i = 0; i <= 20; ++i)  // many collinear points: simplified away
            square.points.push_back({10.0 + i, 10.0});
        square.points.push_back({30, 30});
        square.points.push_back({10, 30});
        contour dot;
        dot.points = {{50, 50}};
        found.contours = {square, dot};
        contour_set elsewhere = found;  // a 3D run outlines other frames too
        elsewhere.frame = 2;
        contour_set beyond = found;  // and never a frame the recording lacks
        beyond.frame = 9;
        return std::vector<contour_set>{found, elsewhere, beyond};
    });
    tool.set_segmenting(true);
    click({20.4, 19.6});
    EXPECT_EQ(seen_x, 20);
    EXPECT_EQ(seen_y, 20);
    ASSERT_NE(set(), nullptr);
    ASSERT_EQ(set()->contours.size(), 1u);  // the dot is dropped
    EXPECT_EQ(set()->contours[0].points.size(), 4u);
    ASSERT_NE(set(0, 2), nullptr);
    EXPECT_EQ(set(0, 2)->contours.size(), 1u);
    EXPECT_EQ(set(0, 9), nullptr);
    // A repeated click does not double the outline; a click beside the frame does nothing.
    click({20, 20});
    EXPECT_EQ(set()->contours.size(), 1u);
    seen_x = -1;
    click({-5, 20});
    EXPECT_EQ(seen_x, -1);
    // A cancelled run changes nothing.
    tool.set_segmenter([](long, long, long) { return std::optional<std::vector<contour_set>>{}; });
    res->RES_BUF_CURRENT_FRAME->write(0);
    click({20, 20});
    EXPECT_EQ(set(0, 0), nullptr);
}

}  // namespace
