// The reader against files other tools wrote (tests/volumes/fixtures, made
// by make_fixtures.sh with pydicom, dcmtk and GDCM): the generator's truth
// for every slice, the same values and poses from every lossless transfer
// syntax and the multi-frame copies, lossy files within one level of the
// encoding toolkit's own decoding, refusals of what is not read, the
// DICOMDIR, and volume files that agree with their DICOM copy.
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "common/dynabuf.h"
#include "common/interaction.h"
#include "common/matrix16d.h"
#include "common/vertex_math.h"
#include "resources/resource_table.h"
#include "support/session_fixture.h"
#include "volumes/dicom_display.h"
#include "volumes/dicom_image.h"
#include "volumes/dicom_loader.h"
#include "volumes/volume_files.h"

namespace {

const std::string fixtures = KS_FIXTURES;

struct decoded_t {
    dicom_image_t image;
    std::vector<std::vector<std::uint16_t>> frames;
    wxString why;
    bool ok = false;
};

decoded_t decode(const std::string& name)
{
    decoded_t d;
    std::ifstream in(fixtures + "/" + name, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    dicom_dataset_t ds;
    if (!parse_dicom(bytes, &ds, &d.why) || !read_dicom_image(ds, &d.image, &d.why))
        return d;
    for (long f = 0; f < d.image.frames; ++f) {
        std::vector<std::uint16_t> v;
        if (!decode_frame(ds, d.image, f, &v, &d.why))
            return d;
        d.frames.push_back(v);
    }
    d.ok = true;
    return d;
}

struct truth_slice_t {
    vertex3d position, u, w;  // mm, row and column directions
    std::vector<std::optional<double>> hu;
};

std::vector<truth_slice_t> read_truth()
{
    std::ifstream in(fixtures + "/truth.txt");
    std::vector<truth_slice_t> out;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream s(line);
        if (line.rfind("slice", 0) == 0) {
            std::string word;
            int k;
            truth_slice_t t;
            s >> word >> k >> t.position.x >> t.position.y >> t.position.z >> t.u.x >> t.u.y >> t.u.z >> t.w.x >>
                t.w.y >> t.w.z;
            out.push_back(t);
            continue;
        }
        for (std::string v; s >> v;)
            out.back().hu.push_back(v == "P" ? std::nullopt : std::optional<double>(std::stod(v)));
    }
    return out;
}

// Frame `frame` of `d` holds slice `t`: Hounsfield values, padding, and each corner where the file puts it.
void expect_slice(const decoded_t& d, long frame, const truth_slice_t& t, const std::string& name)
{
    ASSERT_TRUE(d.ok) << name << ": " << d.why;
    const auto& v = d.frames[std::size_t(frame)];
    ASSERT_EQ(v.size(), t.hu.size()) << name;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (!t.hu[i]) {
            ASSERT_TRUE(d.image.padding && v[i] == *d.image.padding) << name << " pixel " << i;
            continue;
        }
        ASSERT_DOUBLE_EQ(d.image.slope * v[i] + d.image.intercept, *t.hu[i]) << name << " pixel " << i;
    }
    EXPECT_DOUBLE_EQ(d.image.row_spacing_mm, 0.7) << name;  // Pixel Spacing's first value: between rows
    EXPECT_DOUBLE_EQ(d.image.column_spacing_mm, 0.9) << name;
    const auto p = dicom_slice_pose(d.image, frame);
    matrix16d m;
    m.forward(p[0], p[1], p[2], p[3], p[4], p[5]);
    for (const auto& [c, r] : {std::pair{0, 0}, std::pair{47, 0}, std::pair{0, 39}, std::pair{47, 39}}) {
        const vertex3d expected = 0.1 * (t.position + (0.9 * c) * t.u + (0.7 * r) * t.w);
        EXPECT_LT(length(m * vertex3d{0.09 * c, 0.07 * r, 0} - expected), 1e-4) << name << " corner " << c << "," << r;
    }
}

TEST(Fixtures, EverySliceAndEveryLosslessSyntaxGivesTheGeneratorsTruth)
{
    const std::vector<truth_slice_t> truth = read_truth();
    ASSERT_EQ(truth.size(), 3u);
    for (int k = 0; k < 3; ++k)
        expect_slice(decode("series/ct_" + std::to_string(k) + ".dcm"), 0, truth[std::size_t(k)],
                     "ct_" + std::to_string(k));
    int syntaxes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(fixtures + "/syntax")) {
        const std::string name = "syntax/" + entry.path().filename().string();
        const decoded_t d = decode(name);
        if (name.find("multiframe") != std::string::npos) {
            ASSERT_EQ(d.frames.size(), 3u) << name << ": " << d.why;
            for (int k = 0; k < 3; ++k)
                expect_slice(d, k, truth[std::size_t(k)], name);
        } else {
            expect_slice(d, 0, truth[1], name);
            EXPECT_EQ(d.image.window_presets.size(), 2u) << name;  // not the icon's
        }
        ++syntaxes;
    }
    EXPECT_EQ(syntaxes, 19);
}

TEST(Fixtures, LossyFilesDecodeWithinOneLevelOfTheirToolkit)
{
    for (const std::string name : {"lossy/baseline", "lossy/j2k_lossy", "lossy/jpeg_gdcm_lossy"}) {
        const decoded_t ours = decode(name + ".dcm"), theirs = decode(name + "_ref.dcm");
        ASSERT_TRUE(ours.ok) << name << ": " << ours.why;
        ASSERT_TRUE(theirs.ok) << name << ": " << theirs.why;
        ASSERT_EQ(ours.frames[0].size(), theirs.frames[0].size());
        int worst = 0;
        for (std::size_t i = 0; i < ours.frames[0].size(); ++i)
            worst = std::max(worst, std::abs(int(ours.frames[0][i]) - int(theirs.frames[0][i])));
        EXPECT_LE(worst, 1) << name;
    }
    for (const std::string name : {"refused/jpeg_ls.dcm", "refused/extended_12bit.dcm"}) {
        const decoded_t d = decode(name);
        EXPECT_FALSE(d.ok) << name;
        EXPECT_EQ(d.why, dicom_unsupported_compression) << name;
    }
}

class FixtureLoads : public SessionTest {
protected:
    std::unique_ptr<dicom_display_service_t> display_;
    void SetUp() override
    {
        SessionTest::SetUp();
        display_ = std::make_unique<dicom_display_service_t>();
    }
    void TearDown() override
    {
        display_.reset();
        SessionTest::TearDown();
    }
    // The session's frame f as Hounsfield values.
    static std::vector<double> hu(long f)
    {
        std::vector<double> out;
        const cip_t frame = bufp->imagecp(f);
        for (std::size_t i = 0; i < frame.pixel_count(); ++i)
            out.push_back(res->RES_DICOM_HUM->value() * frame.samples()[i] + res->RES_DICOM_HUB->value());
        return out;
    }
    static vertex3d origin_of(long f)
    {
        matrix16d m;
        m.forward(bufp->positioncp(f).get());
        return column(m, 3);
    }
};

TEST_F(FixtureLoads, DicomdirAndVolumeFilesAgreeWithTheirDicomCopies)
{
    // The DICOMDIR over the series' copies: three frames with the truth's values.
    ASSERT_TRUE(try_read_other_file(wxString(fixtures + "/dicomdir/DICOMDIR")));
    ASSERT_EQ(bufp->frames(), 3);
    const std::vector<truth_slice_t> truth = read_truth();
    for (long f = 0; f < 3; ++f) {
        const auto values = hu(f);
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (!truth[std::size_t(f)].hu[i])
                continue;
            ASSERT_DOUBLE_EQ(values[i], *truth[std::size_t(f)].hu[i]) << f << " " << i;
        }
    }

    // The axis-aligned DICOM copy, then the same voxels as MetaImage, NRRD and Analyze.
    ASSERT_TRUE(try_read_other_file(wxString(fixtures + "/axial")));
    ASSERT_EQ(bufp->frames(), 3);
    std::vector<std::vector<double>> dicom_hu;
    std::vector<vertex3d> dicom_origin;
    for (long f = 0; f < 3; ++f) {
        dicom_hu.push_back(hu(f));
        dicom_origin.push_back(origin_of(f));
    }
    for (const char* volume : {"axial.mha", "axial.nrrd", "axial.hdr"}) {
        ASSERT_TRUE(load_volume_file(wxString(fixtures + "/" + volume))) << volume;
        ASSERT_EQ(bufp->frames(), 3) << volume;
        EXPECT_NEAR(res->RES_XSCALE->value(), 0.09, 1e-8) << volume;  // Analyze: single precision
        EXPECT_NEAR(res->RES_YSCALE->value(), 0.07, 1e-8) << volume;
        const bool analyze = std::string(volume) == "axial.hdr";  // no origin: slice 0 at zero
        for (long f = 0; f < 3; ++f) {
            EXPECT_EQ(hu(f), dicom_hu[std::size_t(f)]) << volume << " " << f;
            const vertex3d expected =
                analyze ? dicom_origin[std::size_t(f)] - dicom_origin[0] : dicom_origin[std::size_t(f)];
            EXPECT_LT(length(origin_of(f) - expected), 1e-5) << volume << " " << f;
        }
    }

    // The generator's QCT file: three slices 1.5 mm apart from -3 mm.
    ASSERT_TRUE(try_read_other_file(wxString(fixtures + "/scan.qct")));
    ASSERT_EQ(bufp->frames(), 3);
    EXPECT_LT(length(origin_of(2) - vertex3d{0, 0, 0.0}), 1e-6);
    EXPECT_EQ(bufp->imagecp(1).samples()[0], 1100);
}

// One damaged copy of a fixture for each fault the reader guards against,
// each opened as the program opens files: refused with a reason, and the
// recording held before (the DICOMDIR's series) left as it was.
TEST_F(FixtureLoads, DamagedCopiesAreRefusedAndTheRecordingHeldStays)
{
    ASSERT_TRUE(try_read_other_file(wxString(fixtures + "/dicomdir/DICOMDIR")));
    const cip_t held = bufp->imagecp(1);
    const wxFileName held_name = res->RES_ASCII_FILENAME->value();

    auto bytes_of = [](const std::string& name) {
        std::ifstream in(fixtures + "/" + name, std::ios::binary);
        return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    // The offset of a tag's first occurrence at or after `from` (little-endian group, element).
    auto find_tag = [](const std::vector<std::uint8_t>& b, std::uint16_t g, std::uint16_t e, std::size_t from = 0) {
        for (std::size_t i = from; i + 4 <= b.size(); ++i)
            if (b[i] == (g & 0xFF) && b[i + 1] == (g >> 8) && b[i + 2] == (e & 0xFF) && b[i + 3] == (e >> 8))
                return i;
        return b.size();
    };
    // The image's own pixel data: the last, after the icon's.
    auto image_pixels = [&](const std::vector<std::uint8_t>& b) {
        std::size_t last = b.size();
        for (std::size_t at = find_tag(b, 0x7FE0, 0x0010); at < b.size(); at = find_tag(b, 0x7FE0, 0x0010, at + 1))
            last = at;
        return last;
    };
    struct damage_t {
        const char* what;
        std::string source;
        std::function<void(std::vector<std::uint8_t>&)> change;
    };
    const std::vector<damage_t> damages = {
        {"cut inside the pixel data", "syntax/explicit_le.dcm", [](auto& b) { b.resize(b.size() - 100); }},
        {"cut inside the header", "syntax/explicit_le.dcm", [](auto& b) { b.resize(700); }},
        {"rows beyond the data", "syntax/explicit_le.dcm",
         [&](auto& b) {
             const std::size_t at = find_tag(b, 0x0028, 0x0010);
             b[at + 8] = 0xFF;
             b[at + 9] = 0x7F;
         }},
        {"frames beyond the data", "multiframe.dcm",
         [&](auto& b) {
             const std::size_t at = find_tag(b, 0x0028, 0x0008);
             b[at + 8] = '9';  // "3 " becomes "9 "
         }},
        {"an RLE header of no segments", "syntax/rle_dcmtk.dcm",
         [&](auto& b) {
             // The first fragment after the offset table: its 64-byte RLE header starts with the count.
             const std::size_t pixels = image_pixels(b);
             std::size_t item = find_tag(b, 0xFFFE, 0xE000, pixels + 12);
             const std::uint32_t table = b[item + 4] | b[item + 5] << 8;
             item = find_tag(b, 0xFFFE, 0xE000, item + 8 + table);
             b[item + 8] = 0;
         }},
        {"a lossless JPEG stream cut short", "syntax/jpeg_p1.dcm",
         [&](auto& b) {
             const std::size_t eoi = b.size() - 8 - 2;  // before the sequence delimiter and EOI
             for (std::size_t i = eoi - 200; i < eoi; ++i)
                 b[i] = 0xFF;
         }},
        {"a JPEG 2000 image wider than the file says", "syntax/j2k_gdcm.dcm",
         [&](auto& b) {
             // SIZ (FF 51): length, capabilities, then the width, big-endian.
             std::size_t at = image_pixels(b);
             while (at + 1 < b.size() && !(b[at] == 0xFF && b[at + 1] == 0x51))
                 ++at;
             b[at + 8] = 0x01;
         }},
        {"JPEG-LS", "refused/jpeg_ls.dcm", [](auto&) {}},
    };
    for (const damage_t& d : damages) {
        std::vector<std::uint8_t> b = bytes_of(d.source);
        d.change(b);
        const wxString folder = path("damaged");
        wxFileName::Rmdir(folder, wxPATH_RMDIR_RECURSIVE);
        wxFileName::Mkdir(folder);
        std::ofstream(path("damaged/slice.dcm").ToStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        EXPECT_FALSE(try_read_other_file(path("damaged/slice.dcm"))) << d.what;
        EXPECT_TRUE(bufp->imagecp(1) == held) << d.what;
        EXPECT_EQ(res->RES_ASCII_FILENAME->value(), held_name) << d.what;
    }
    EXPECT_EQ(bufp->frames(), 3);
}

}  // namespace
