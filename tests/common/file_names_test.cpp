// The rule every save dialog applies to a typed name: the chosen filter's
// extension when there is none, the filter an extension belongs to, and a
// refusal that names an extension nothing offers.
#include <gtest/gtest.h>

#include "common/file_names.h"

namespace {

const char* images = "PNG file (*.png)|*.png|JPEG file (*.jpeg)|*.jpeg;*.jpg|Windows bitmap (*.bmp)|*.bmp";
const char* templates = "Template files (*.kst)|*.kst|All files (*.*)|*.*";
const char* recordings = "Kestrane file (*.ks)|*.ks|Kestrane raw data file (*.ks)|*.ks";
const char* volumes = "NIfTI (*.nii)|*.nii|NIfTI, compressed (*.nii.gz)|*.nii.gz";

struct case_t {
    const char* wildcard;
    const char* typed;
    int chosen;
    const char* path;  // expected; null when refused
    int filter;
};

// Each row is a name a user types (the GUI tests check the refusal's words); a wrong row means a file the Open dialog
// cannot see, a file of the wrong type, or a silent write to an odd name.
TEST(SaveNames, ExtensionsFollowTheChosenFilter)
{
    const case_t cases[] = {
        {images, "/d/grab", 0, "/d/grab.png", 0},           // none: the chosen filter's
        {images, "/d/grab", 1, "/d/grab.jpeg", 1},          // its first extension
        {images, "/d/grab.", 2, "/d/grab.bmp", 2},          // a trailing dot is no extension
        {images, "/d/grab.JPG", 0, "/d/grab.JPG", 1},       // another filter's, in any case, wins
        {images, "/d/v1.2/grab", 0, "/d/v1.2/grab.png", 0},  // dots in folders do not count
        {images, "/d/grab.v2", 0, nullptr, -1},             // unknown: refused
        {recordings, "/d/scan", 1, "/d/scan.ks", 1},        // the chosen of two filters with one extension
        {templates, "/d/t", 1, "/d/t.kst", 1},              // "All files": the first concrete extension
        {templates, "/d/t.txt", 1, "/d/t.txt", 1},          // ... and any extension is taken
        {templates, "/d/t.txt", 0, "/d/t.txt", 0},          // a filter that takes anything is still there
        {images, "/d/", 0, nullptr, -1},                    // a folder
        {volumes, "/d/v", 1, "/d/v.nii.gz", 1},             // an extension of two parts is added whole
        {volumes, "/d/v.NII.GZ", 0, "/d/v.NII.GZ", 1},      // ... and found by its whole ending
        {volumes, "/d/v.nii", 1, "/d/v.nii", 0},            // the shorter one is still its own
        {volumes, "/d/v.gz", 0, nullptr, -1},               // the last part alone is no match
    };
    for (const case_t& c : cases) {
        const save_name_t name = resolve_save_name(c.typed, c.wildcard, c.chosen);
        if (!c.path) {
            EXPECT_FALSE(name.error.empty()) << c.typed;
            continue;
        }
        EXPECT_TRUE(name.error.empty()) << c.typed << ": " << name.error;
        EXPECT_EQ(name.path, c.path) << c.typed;
        EXPECT_EQ(name.filter, c.filter) << c.typed;
    }
}

}  // namespace
