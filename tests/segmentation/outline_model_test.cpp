// The object table's bookkeeping: inserting outlines, clearing, default
// names and colours, and how long the object list is.
#include <gtest/gtest.h>

#include "resources/recording_data.h"
#include "segmentation/object_list.h"

namespace {

contour square(double x0, double y0, double side)
{
    contour c;
    c.points = {{x0, y0}, {x0 + side, y0}, {x0 + side, y0 + side}, {x0, y0 + side}};
    return c;
}

TEST(OutlineModel, InsertKeepsFrameOrderTheFileGridAndRefusesRepeats)
{
    contour_object o;
    EXPECT_TRUE(o.insert(7, square(1.0, 1.0, 5.0)));
    EXPECT_TRUE(o.insert(2, square(1.004, 2.0049, 5.0)));
    ASSERT_EQ(o.sets.size(), 2u);
    EXPECT_EQ(o.sets[0].frame, 2);
    EXPECT_EQ(o.sets[1].frame, 7);
    // Vertices go onto the 0.01-pixel grid the file keeps.
    EXPECT_DOUBLE_EQ(o.sets[0].contours[0].points[0].x, 1.0);
    EXPECT_DOUBLE_EQ(o.sets[0].contours[0].points[0].y, 2.0);
    // The same outline again on that frame is not added: a repeated click
    // would otherwise cancel or double the area.
    o.sets[0].area = 25.0;
    EXPECT_FALSE(o.insert(2, square(1.0, 2.0, 5.0)));
    EXPECT_EQ(o.sets[0].contours.size(), 1u);
    EXPECT_DOUBLE_EQ(o.sets[0].area, 25.0);
    EXPECT_TRUE(o.insert(2, square(10.0, 2.0, 5.0)));
    EXPECT_EQ(o.sets[0].area, -1.0);
    EXPECT_EQ(o.sets[0].contours.size(), 2u);

    o.sets[1].contours.clear();
    o.remove_empty_sets();
    ASSERT_EQ(o.sets.size(), 1u);
    EXPECT_EQ(o.sets[0].frame, 2);

    o.volume = 3.0;
    o.opacity = 0.5;
    o.solid = false;
    o.clear();
    EXPECT_TRUE(o.sets.empty());
    EXPECT_EQ(o.volume, 0.0);
    EXPECT_EQ(o.opacity, 1.0);
    EXPECT_TRUE(o.solid);
}

TEST(OutlineModel, DefaultColoursAndNames)
{
    EXPECT_EQ(object_table::default_colour(0), (rgb_t{255, 255, 51}));
    EXPECT_EQ(object_table::default_colour(1), (rgb_t{51, 255, 0}));
    EXPECT_EQ(object_table::default_colour(5), (rgb_t{255, 127, 0}));
    EXPECT_EQ(object_table::default_colour(6), (rgb_t{255, 255, 173}));
    EXPECT_EQ(object_table::default_colour(12), (rgb_t{178, 178, 35}));
    EXPECT_EQ(object_table::default_colour(30), object_table::default_colour(0));
    object_table t;
    t[3].name = "Liver";
    t[3].colour = {1, 2, 3};
    t.blank_all();
    EXPECT_EQ(t[3].name, "Object 3");
    EXPECT_EQ(t[0].name, "Object 0");
    EXPECT_EQ(t[3].colour, object_table::default_colour(3));
}

TEST(OutlineModel, ObjectListLength)
{
    object_table t;
    EXPECT_EQ(object_list_length(t), 12);
    t[4].insert(0, square(0, 0, 3));
    EXPECT_EQ(object_list_length(t), 12);
    t[5].insert(0, square(0, 0, 3));
    EXPECT_EQ(object_list_length(t), 18);
    t[11].insert(0, square(0, 0, 3));
    EXPECT_EQ(object_list_length(t), 24);
    // A renamed object further up extends the list to a multiple of six.
    t[40].name = "Kidney";
    EXPECT_EQ(object_list_length(t), 42);
    // The top of the table is never hidden: 198 would hide objects 198 and 199.
    t[199].insert(3, square(0, 0, 3));
    EXPECT_EQ(object_list_length(t), 200);
    object_table u;
    u[197].name = "Spleen";
    EXPECT_EQ(object_list_length(u), 198);
    u[198].name = "Spleen 2";
    EXPECT_EQ(object_list_length(u), 200);
}

}  // namespace
