// Saving pictures: the type follows the extension, and every failure names
// its real cause instead of one catch-all message.
#include <algorithm>

#include <wx/dir.h>
#include <wx/filefn.h>
#include <wx/image.h>

#include "recording_fixture.h"
#include "resources/image_file.h"

namespace {

class ImageFile : public RecordingTest {
protected:
    wxImage picture() const
    {
        wxImage image(5, 3, false);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                image.SetRGB(x, y, static_cast<unsigned char>(40 * x), static_cast<unsigned char>(60 * y), 7);
        return image;
    }
};

// A file that reads back as another type, or with other pixels, is a lost picture.
TEST_F(ImageFile, LosslessTypesReadBackPixelForPixel)
{
    for (const char* name : {"a.png", "a.PNG", "a.bmp", "a.tif", "a.ppm"}) {
        ASSERT_TRUE(save_image_file(picture(), path(name))) << name;
        const wxImage back(path(name), *image_type_for(name));
        ASSERT_TRUE(back.IsOk()) << name;
        EXPECT_EQ(back.GetSize(), wxSize(5, 3)) << name;
        EXPECT_TRUE(std::equal(back.GetData(), back.GetData() + 45, picture().GetData())) << name;
    }
    EXPECT_EQ(read_file("a.ppm").substr(0, 11), "P6\n5 3\n255\n") << "raw PPM, as other programs expect";
}

// Each failure says why, and leaves neither the target nor a temporary file behind.
TEST_F(ImageFile, FailuresNameTheirCause)
{
    ASSERT_TRUE(wxFileName::Mkdir(path("taken.png")));  // a folder where the file should go: the rename fails
    const struct {
        const char* name;
        const char* message;
    } cases[] = {
        {"grab.v2", "Unknown image file extension '.v2'"},
        {"grab", "Unknown image file extension '(none)'"},
        {"missing/grab.png", "Error opening file for writing."},
        {"taken.png", "Error renaming the written file"},
    };
    for (const auto& c : cases) {
        log_capture log;
        EXPECT_FALSE(save_image_file(picture(), path(c.name))) << c.name;
        EXPECT_TRUE(log.contains(c.message, wxLOG_Error)) << c.name;
        EXPECT_EQ(log.count(wxLOG_Error), 1u) << c.name;
    }
    EXPECT_FALSE(wxFileExists(path("grab.v2")));
    wxArrayString left;
    wxDir::GetAllFiles(dir, &left);
    EXPECT_TRUE(left.empty()) << left[0];
}

}  // namespace
