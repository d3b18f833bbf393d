// Landmark names: defaults number from the smallest free number, every name
// the list takes passes the checks (no duplicates, no line breaks that would
// split a LANDMARK line), and the spine vocabulary maps names to vertebrae.
#include <gtest/gtest.h>

#include "surfaces/landmark_list.h"

namespace {

landmark_t named(const wxString& name, lmark_t kind = LMARK_3D)
{
    landmark_t m;
    m.name = name;
    m.kind = kind;
    return m;
}

wxString refusal(const landmarks& marks, const wxString& name, lmark_t kind)
{
    wxString why;
    EXPECT_FALSE(check_name(marks, name, kind, std::nullopt, &why)) << name;
    return why;
}

}  // namespace

// A deleted default number is reused before a new one is taken.
TEST(LandmarkNaming, DefaultNumbersReuseTheSmallestFreeNumber)
{
    landmarks marks;
    EXPECT_EQ(marks.list[add(&marks, {}, LMARK_3D)].name, "Landmark 1");
    EXPECT_EQ(marks.list[add(&marks, {}, LMARK_3D)].name, "Landmark 2");
    ASSERT_TRUE(remove(&marks, 0));
    EXPECT_EQ(marks.list[add(&marks, {}, LMARK_3D)].name, "Landmark 1");
    EXPECT_EQ(marks.list[add(&marks, {}, LMARK_3D)].name, "Landmark 3");
    // Fiducials and surface landmarks count separately; a 2D landmark shares "Landmark".
    EXPECT_EQ(marks.list[add(&marks, {}, LMARK_FIDUCIAL)].name, "Fiducial 1");
    EXPECT_EQ(marks.list[add_on_surface(&marks, {}, {0, 0, 1}, 7)].name, "Surface 1");
    const landmark_index on_frame = add_on_frame(&marks, {3, 4}, 5);
    EXPECT_EQ(marks.list[on_frame].name, "Landmark 4");
    EXPECT_EQ(marks.list[on_frame].kind, LMARK_2D);
    EXPECT_EQ(marks.list[on_frame].index, 5);
    // A name taken by a user-named landmark is skipped too.
    ASSERT_TRUE(add(&marks, {}, LMARK_3D, "Landmark 5", nullptr));
    EXPECT_EQ(marks.list[add(&marks, {}, LMARK_3D)].name, "Landmark 6");
    // A default-named spine request cannot name a vertebra: it is a 3D landmark.
    EXPECT_EQ(marks.list[add(&marks, {}, LMARK_SPINE)].kind, LMARK_3D);
}

// Each rule refuses with its own message, in the order the user sees them.
TEST(LandmarkNaming, ChecksRefuseWithTheirMessages)
{
    landmarks marks;
    marks.list = {named("Apex"), named("Fiducial 1", LMARK_FIDUCIAL)};
    EXPECT_EQ(refusal(marks, "", LMARK_3D), "Landmark name must not be empty!");
    EXPECT_EQ(refusal(marks, " Apex2", LMARK_3D), "Landmark name must not begin with white space");
    EXPECT_EQ(refusal(marks, "\tApex2", LMARK_3D), "Landmark name must not begin with white space");
    EXPECT_EQ(refusal(marks, "Apex", LMARK_3D), "Landmark name must not be the same as another landmark name");
    EXPECT_EQ(refusal(marks, "Apex", LMARK_FIDUCIAL), "Landmark name must not be the same as another landmark name");
    EXPECT_EQ(refusal(marks, "Fiducial 2", LMARK_3D), "Data landmark names must not begin with the word Fiducial");
    EXPECT_EQ(refusal(marks, "Fiducial 2", LMARK_2D), "Data landmark names must not begin with the word Fiducial");
    EXPECT_EQ(refusal(marks, "Marker 2", LMARK_FIDUCIAL), "Fiducial landmark names must begin with the word Fiducial");
    EXPECT_EQ(refusal(marks, "Fiducial Isocentre 1", LMARK_FIDUCIAL),
              "Landmarks starting with the words Fiducial Isocentre are reserved.");
    EXPECT_EQ(refusal(marks, "T13 Spinous Process", LMARK_SPINE), "In-appropriate name for a spine landmark.");
    wxString why;
    EXPECT_TRUE(check_name(marks, "Apex 2", LMARK_3D, std::nullopt, &why)) << why;
    EXPECT_TRUE(check_name(marks, "Fiducial 2", LMARK_FIDUCIAL, std::nullopt, &why)) << why;
    EXPECT_TRUE(check_name(marks, wxString::FromUTF8("Wirbel \xc3\xa4"), LMARK_3D, std::nullopt, &why)) << why;
    // A landmark keeps its own name when renamed to it.
    EXPECT_TRUE(check_name(marks, "Apex", LMARK_3D, landmark_index{0}, &why)) << why;
}

// A line feed in a name would split its LANDMARK line and make the recording
// unreadable; no control character gets into the list by any route.
TEST(LandmarkNaming, ControlCharactersAreRefusedEverywhere)
{
    landmarks marks;
    const landmark_index i = add(&marks, {}, LMARK_3D);
    for (const wxString& bad : {wxString("two\nlines"), wxString("cr\rhere"), wxString("tab\tinside"),
                                wxString("bell\x07"), wxString("end\n")}) {
        wxString why;
        EXPECT_FALSE(check_name(marks, bad, LMARK_3D, std::nullopt, &why));
        EXPECT_TRUE(why.Contains("control characters")) << why;
        EXPECT_FALSE(add(&marks, {}, LMARK_3D, bad, nullptr));
        EXPECT_FALSE(rename(&marks, i, bad, nullptr));
    }
    ASSERT_EQ(marks.list.size(), 1u);
    EXPECT_EQ(marks.list[0].name, "Landmark 1");
}

// The vocabulary decides vertebra and landmark indices; near misses stay 3D.
TEST(SpineNames, NamesMapToVertebraAndLandmarkIndices)
{
    landmark_t m = named("T12 Spinous Process");
    create_indices_from_name(&m);
    EXPECT_EQ(m.kind, LMARK_SPINE);
    EXPECT_EQ(m.vertebra, 16);
    EXPECT_EQ(m.spine_landmark, 1);

    m = named("Spine Central Upper");
    create_indices_from_name(&m);
    EXPECT_EQ(m.kind, LMARK_SPINE);
    EXPECT_EQ(m.spine_landmark, 1);
    EXPECT_EQ(m.vertebra, -1);

    for (const char* miss : {"T13 Spinous Process", "T1Spinous Process", "T12 Spinous", "Spine Central",
                             "spine Central Upper", "Spine Central Upper "}) {
        landmark_t n = named(miss, LMARK_SPINE);
        create_indices_from_name(&n);
        EXPECT_EQ(n.kind, LMARK_3D) << miss;
    }
    // Only 3D and spine landmarks take part: a fiducial keeps its kind.
    landmark_t f = named("C3 Left Lamina", LMARK_FIDUCIAL);
    create_indices_from_name(&f);
    EXPECT_EQ(f.kind, LMARK_FIDUCIAL);

    // Every name of the tables round-trips to its own indices.
    for (int v = 0; v < spine::vertebra_count; ++v)
        for (int k = 0; k < spine::marks_per_vertebra; ++k) {
            landmark_t s = named(spine::landmark_name(v, k));
            create_indices_from_name(&s);
            EXPECT_EQ(s.kind, LMARK_SPINE);
            EXPECT_EQ(s.vertebra, v);
            EXPECT_EQ(s.spine_landmark, k);
        }
    EXPECT_EQ(spine::landmark_name(0, 0), "C3 Left Lamina");
    EXPECT_EQ(spine::landmark_name(21, 2), "L5 Right Lamina");
    EXPECT_EQ(spine::reference_name(2), "Spine Right Lower");
    EXPECT_TRUE(spine::landmark_name(22, 0).empty());
    EXPECT_TRUE(spine::landmark_name(0, 3).empty());
    EXPECT_TRUE(spine::vertebra_name(-1).empty());
}

// Renaming keeps the spine indices in step with the name, and a spine
// landmark cannot leave the vocabulary.
TEST(SpineNames, RenamingFollowsTheVocabulary)
{
    landmarks marks;
    const auto i = add(&marks, {1, 2, 3}, LMARK_3D, "L1 Left Lamina", nullptr);
    ASSERT_TRUE(i);
    EXPECT_EQ(marks.list[*i].kind, LMARK_SPINE);
    EXPECT_EQ(marks.list[*i].vertebra, 17);

    wxString why;
    EXPECT_FALSE(rename(&marks, *i, "Somewhere", &why));
    EXPECT_EQ(why, "In-appropriate name for a spine landmark.");
    EXPECT_EQ(marks.list[*i].name, "L1 Left Lamina");
    ASSERT_TRUE(rename(&marks, *i, "L2 Right Lamina", &why)) << why;
    EXPECT_EQ(marks.list[*i].vertebra, 18);
    EXPECT_EQ(marks.list[*i].spine_landmark, 2);

    const landmark_index plain = add(&marks, {}, LMARK_3D);
    ASSERT_TRUE(rename(&marks, plain, "Spine Left Lower", &why)) << why;
    EXPECT_EQ(marks.list[plain].kind, LMARK_SPINE);
    EXPECT_EQ(marks.list[plain].vertebra, -1);
    EXPECT_FALSE(rename(&marks, 99, "Anything", &why));
}

// Spine landmarks placed twice move rather than duplicate; lookups find each
// landmark by its name, frame or surface.
TEST(LandmarkList, SpinePlacementLookupsAndClearing)
{
    landmarks marks;
    const auto a = set_spine_landmark(&marks, {1, 0, 0}, 5, spine::right_lamina);
    const auto b = set_spine_landmark(&marks, {2, 0, 0}, 5, spine::right_lamina);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*a, *b);
    EXPECT_EQ(marks.list.size(), 1u);
    EXPECT_EQ(marks.list[*a].name, "T1 Right Lamina");
    EXPECT_EQ(marks.list[*a].position.x, 2.0);
    EXPECT_FALSE(set_spine_landmark(&marks, {}, 22, 0));
    EXPECT_FALSE(set_spine_landmark(&marks, {}, -1, 3));
    EXPECT_EQ(find_spine(marks, 5, spine::right_lamina), a);

    add(&marks, {}, LMARK_FIDUCIAL);
    add_on_frame(&marks, {1, 1}, 3);
    add_on_frame(&marks, {2, 2}, 4);
    add_on_frame(&marks, {3, 3}, 3);
    add_on_surface(&marks, {}, {}, 9);
    EXPECT_EQ(find(marks, 3L), (std::vector<landmark_index>{2, 4}));
    EXPECT_EQ(find_surf(marks, 9), (std::vector<landmark_index>{5}));
    EXPECT_TRUE(find_surf(marks, 3).empty());
    EXPECT_EQ(find(marks, wxString("Fiducial 1")), landmark_index{1});
    EXPECT_FALSE(find(marks, wxString("Fiducial 2")));

    landmarks fiducials_gone = marks;
    clear_fiducial_landmarks(&fiducials_gone);
    EXPECT_EQ(fiducials_gone.list.size(), 5u);
    EXPECT_FALSE(find(fiducials_gone, wxString("Fiducial 1")));
    clear_data_landmarks(&marks);
    ASSERT_EQ(marks.list.size(), 1u);
    EXPECT_EQ(marks.list[0].kind, LMARK_FIDUCIAL);
    EXPECT_FALSE(remove(&marks, 1));
}
