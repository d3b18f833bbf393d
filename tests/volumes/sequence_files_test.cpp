// Tracked ultrasound sequences: a file laid out by hand the way other
// programs write them (a reference tool, frames whose status is not OK,
// compressed data, untidy header spacing, a turned image orientation)
// imports with every pixel where the file puts it; our export reads back
// to the same recording; and untrusted headers are refused with their
// reason while the recording held stays as it was.
#include <cmath>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <zlib.h>

#include "common/dynabuf.h"
#include "common/interaction.h"
#include "common/matrix16d.h"
#include "demo/demo_recording.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "support/log_capture.h"
#include "support/deflate.h"
#include "support/session_fixture.h"
#include "volumes/dicom_loader.h"
#include "volumes/sequence_export.h"
#include "volumes/sequence_file.h"
#include "volumes/sequence_import.h"

namespace {

constexpr long width = 5, height = 3, frames = 5;

// A rigid transform in mm, row-major, from a rotation of `degrees` about
// the unit axis (x, y, z) and a translation: written out independently of
// the program's pose conventions.
std::vector<double> rigid_mm(double degrees, double x, double y, double z, double tx, double ty, double tz)
{
    const double n = std::sqrt(x * x + y * y + z * z), a = degrees * M_PI / 180.0;
    x /= n, y /= n, z /= n;
    const double c = std::cos(a), s = std::sin(a), t = 1 - c;
    return {t * x * x + c,
            t * x * y - s * z,
            t * x * z + s * y,
            tx,
            t * x * y + s * z,
            t * y * y + c,
            t * y * z - s * x,
            ty,
            t * x * z - s * y,
            t * y * z + s * x,
            t * z * z + c,
            tz,
            0,
            0,
            0,
            1};
}

std::vector<double> multiply(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> c(16, 0.0);
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k)
            for (int j = 0; j < 4; ++j)
                c[std::size_t(4 * r + k)] += a[std::size_t(4 * r + j)] * b[std::size_t(4 * j + k)];
    return c;
}

std::vector<double> rigid_inverse(const std::vector<double>& m)
{
    std::vector<double> inv(16, 0.0);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            inv[std::size_t(4 * r + c)] = m[std::size_t(4 * c + r)];
        for (int c = 0; c < 3; ++c)
            inv[std::size_t(4 * r + 3)] -= m[std::size_t(4 * c + r)] * m[std::size_t(4 * c + 3)];
    }
    inv[15] = 1;
    return inv;
}

std::array<double, 3> apply(const std::vector<double>& m, double u, double v)
{
    return {m[0] * u + m[1] * v + m[3], m[4] * u + m[5] * v + m[7], m[8] * u + m[9] * v + m[11]};
}

std::string text_of(const std::vector<double>& m)
{
    std::ostringstream out;
    out.precision(17);
    for (double v : m)
        out << " " << v;
    return out.str();
}

// Where Kestrane puts pixel (u, v) of frame k, in mm: pose, calibration, scales.
std::array<double, 3> kestrane_world_mm(long k, double u, double v)
{
    matrix16d pose, cal;
    pose.forward(bufp->positioncp(k).get());
    cal.forward(res->RES_XTRANS->value(), res->RES_YTRANS->value(), res->RES_ZTRANS->value(), res->RES_AZIMUTH->value(),
                res->RES_ELEVATION->value(), res->RES_ROLL->value());
    const vertex3d p = (pose * cal) * vertex3d{u * res->RES_XSCALE->value(), v * res->RES_YSCALE->value(), 0.0};
    return {10 * p.x, 10 * p.y, 10 * p.z};
}

// Answers File, Open's questions as a user would.
class scripted_interaction_t : public headless_interaction_t {
public:
    std::optional<int> choice;
    wxString file, text;
    std::optional<int> ask_choice(const wxString&, const wxString&, const std::vector<wxString>&) override
    {
        return choice;
    }
    std::optional<file_choice_t> ask_file(const wxString&, const wxString&, const wxString&, bool) override
    {
        return file_choice_t{file, 0};
    }
    std::optional<wxString> ask_text(const wxString&, const wxString&, const wxString&, text_kind_t) override
    {
        return text;
    }
};

class SequenceFiles : public SessionTest {
protected:
    // The frames as stored in the file (UN orientation): pixel values tell frame and place.
    std::vector<std::uint8_t> stored;
    std::vector<std::vector<double>> probe_to_tracker, reference_to_tracker;
    // Pure rotation and pixel scales 0.2 and 0.25 mm, so that it fits exactly.
    const std::vector<double> image_to_probe =
        multiply(rigid_mm(30, 1, 2, 2, 10, -5, 3), {0.2, 0, 0, 0, 0, 0.25, 0, 0, 0, 0, 0.2, 0, 0, 0, 0, 1});

    void SetUp() override
    {
        SessionTest::SetUp();
        for (long k = 0; k < frames; ++k)
            for (long i = 0; i < width * height; ++i)
                stored.push_back(std::uint8_t(16 * k + i));
        for (long k = 0; k < frames; ++k) {
            probe_to_tracker.push_back(rigid_mm(10.0 + 7 * k, 0.3, -1, 0.5, 100 + k, -20 + 2 * k, 300));
            reference_to_tracker.push_back(rigid_mm(40.0 - 3 * k, 1, 1, 0, 50, 60 - k, 250 + k));
        }
    }

    // The per-frame fields, with the spacing and case of hand-edited files;
    // frame 2's probe is INVALID, frame 3's reference MISSING, frame 4's image INVALID.
    std::string frame_fields(const std::string& is, const std::string& eol) const
    {
        std::string out;
        for (long k = 0; k < frames; ++k) {
            char prefix[32];
            std::snprintf(prefix, sizeof prefix, "Seq_Frame%04ld_", k);
            const std::string p = prefix;
            out += p + "FrameNumber" + is + std::to_string(k) + eol;
            out += p + "ProbeToTrackerTransform" + is + "  " + text_of(probe_to_tracker[std::size_t(k)]) + "\t" + eol;
            out += p + "ProbeToTrackerTransformStatus" + is + (k == 2 ? "INVALID" : "OK") + eol;
            out += p + "ReferenceToTrackerTransform" + is + text_of(reference_to_tracker[std::size_t(k)]) + eol;
            out += p + "ReferenceToTrackerTransformStatus" + is + (k == 3 ? "MISSING" : "OK") + eol;
            out += p + "Timestamp" + is + std::to_string(k) + ".12345678" + eol;
            out += p + "ImageStatus" + is + (k == 4 ? "INVALID" : "OK") + eol;
        }
        return out;
    }

    wxString write(const wxString& name, const std::string& header, const std::vector<std::uint8_t>& data)
    {
        std::ofstream out(path(name).ToStdString(), std::ios::binary);
        out << header;
        out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
        return path(name);
    }

    std::string metaimage_header(std::size_t compressed_size, const std::string& dims = "5 3 5") const
    {
        return "ObjectType=Image\r\nNDims =  3\r\n  BinaryData = True\r\nBinaryDataByteOrderMSB = False\r\n"
               "CompressedData =\tTrue\r\nCompressedDataSize = " +
               std::to_string(compressed_size) + "\r\nTransformMatrix = 1 0 0 0 1 0 0 0 1\r\nOffset = 0 0 0\r\n" +
               "DimSize =\t" + dims + "  \r\nElementSpacing = 1 1 1\r\nElementType = MET_UCHAR\r\n" +
               "UltrasoundImageOrientation = UN\r\n" + frame_fields(" = ", "\r\n") + "ElementDataFile = LOCAL\r\n";
    }

    wxString foreign_metaimage()
    {
        const std::vector<std::uint8_t> z = deflated(stored, false);
        return write("sweep.igs.mha", metaimage_header(z.size()), z);
    }

    wxString foreign_nrrd()
    {
        const std::string header =
            "NRRD0004\n# written by hand\ntype: unsigned char\ndimension: 3\nsizes: 5 3 5\n"
            "kinds: domain domain list\nencoding: gzip\nUltrasoundImageOrientation:=UN\n" +
            frame_fields(":=", "\n") + "\n";
        return write("sweep.igs.nrrd", header, deflated(stored, true));
    }

    sequence_import_options_t options(const std::string& reference) const
    {
        sequence_import_options_t o;
        std::copy(image_to_probe.begin(), image_to_probe.end(), o.image_to_probe.begin());
        o.have_image_to_probe = true;
        o.reference = reference;
        return o;
    }

    // Frames 0, 1 placed, 2 and 3 without a pose, 4 left out; each pixel where the file puts it.
    void expect_imported(const std::string& reference)
    {
        ASSERT_EQ(bufp->frames(), 4);
        EXPECT_EQ(res->RES_BUF_WIDTH->value(), width);
        for (long k = 0; k < 4; ++k) {
            const std::uint8_t* p = bufp->imagecp(k).pixels();
            for (long v = 0; v < height; ++v)
                for (long u = 0; u < width; ++u)  // UN stored: both axes turned round
                    ASSERT_EQ(p[v * width + u],
                              stored[std::size_t(k * width * height + (height - 1 - v) * width + (width - 1 - u))])
                        << k << " " << u << " " << v;
            EXPECT_EQ(bufp->timestamp(k), std::uint64_t(k) * 10000000 + 1234568) << "rounded to 100 ns";
        }
        EXPECT_TRUE(bufp->positioncp(2).empty()) << "probe INVALID";
        EXPECT_EQ(bufp->positioncp(3).empty(), !reference.empty()) << "reference MISSING";
        for (long k : {0L, 1L}) {
            std::vector<double> to_world = probe_to_tracker[std::size_t(k)];
            if (!reference.empty())
                to_world = multiply(rigid_inverse(reference_to_tracker[std::size_t(k)]), to_world);
            to_world = multiply(to_world, image_to_probe);
            for (double u : {0.0, 4.0})
                for (double v : {0.0, 2.0}) {
                    const auto expected = apply(to_world, u, v), got = kestrane_world_mm(k, u, v);
                    for (int i = 0; i < 3; ++i)
                        EXPECT_NEAR(got[std::size_t(i)], expected[std::size_t(i)], 1e-4) << k << " " << u << " " << v;
                }
        }
    }
};

TEST_F(SequenceFiles, ForeignFilesImportWithEveryPixelInPlace)
{
    for (const bool nrrd : {false, true})
        for (const std::string reference : {"", "Reference"}) {
            const wxString file = nrrd ? foreign_nrrd() : foreign_metaimage();
            ASSERT_TRUE(is_sequence_file(file));
            sequence_recording_t s;
            wxString why;
            ASSERT_TRUE(read_sequence_recording(file, options(reference), &s, &why)) << why;
            EXPECT_EQ(s.frames_left_out, 1);
            EXPECT_EQ(s.frames_without_pose, reference.empty() ? 1 : 2);
            EXPECT_LT(s.residual_mm, 1e-6);
            make_sequence_recording(s, sequence_recording_name(file));
            EXPECT_EQ(res->RES_ASCII_FILENAME->value().GetFullName(), "sweep.ks");
            SCOPED_TRACE(nrrd ? "nrrd" : "mha");
            SCOPED_TRACE(reference);
            expect_imported(reference);
        }
}

// A device-set file names the probe tool; its matrix has a little shear,
// which the calibration cannot hold: the residual says how far off it is.
TEST_F(SequenceFiles, DeviceSetCalibrationWithShear)
{
    std::vector<double> sheared = image_to_probe;
    sheared[1] += 0.004;
    std::ofstream(path("set.xml").ToStdString())
        << "<DeviceSetConfiguration>\n <CoordinateDefinitions>\n  <Transform From=\"Image\" To=\"Tracker\" Matrix=\"1 0 0 0 "
           "0 1 0 0 0 0 1 0 0 0 0 1\" />\n  <Transform From=\"Image\" To=\"Transducer\"\n     Matrix=\""
        << text_of(sheared) << "\"\n     Error=\"0.5\" />\n </CoordinateDefinitions>\n</DeviceSetConfiguration>\n";
    sequence_import_options_t o;
    wxString why;
    ASSERT_TRUE(image_to_probe_from_argument(path("set.xml"), "Transducer", &o.image_to_probe, &why)) << why;
    EXPECT_EQ(o.image_to_probe[1], sheared[1]);
    o.have_image_to_probe = true;
    o.probe = "Transducer";
    std::string header = metaimage_header(0);
    for (std::size_t at; (at = header.find("_ProbeTo")) != std::string::npos;)
        header.replace(at, 8, "_TransducerTo");
    const std::vector<std::uint8_t> z = deflated(stored, false);
    header.replace(header.find("CompressedDataSize = 0"), 22, "CompressedDataSize = " + std::to_string(z.size()));
    sequence_recording_t s;
    ASSERT_TRUE(read_sequence_recording(write("t.mha", header, z), o, &s, &why)) << why;
    make_sequence_recording(s, path("t.ks"));
    // 4 pixels of 0.004 mm shear: 0.016 mm at the far corner at most.
    EXPECT_GT(s.residual_mm, 0.001);
    EXPECT_LT(s.residual_mm, 0.016);
    const std::vector<double> to_world = multiply(probe_to_tracker[0], sheared);
    for (double u : {0.0, 5.0})
        for (double v : {0.0, 3.0}) {
            const auto expected = apply(to_world, u, v), got = kestrane_world_mm(0, u, v);
            EXPECT_LE(std::hypot(got[0] - expected[0], got[1] - expected[1], got[2] - expected[2]),
                      s.residual_mm + 1e-4);
        }
}

// Export, import, save and open again: the demo's frames byte for byte,
// times exactly, every pixel's world position to 1e-6 cm, and a frame
// without a pose still without one.
TEST_F(SequenceFiles, DemoRecordingRoundTrip)
{
    // The recording as its file holds it (calibration values to six decimals).
    ASSERT_TRUE(write_demo_recording(dir, 12, 96, 72));
    ASSERT_TRUE(bufp->set_position(5, {}));
    ASSERT_TRUE(recording_io->save_as(path("with_gap.ks")));
    recording_io->new_recording();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("with_gap.ks")));
    std::vector<std::vector<std::uint8_t>> pixels;
    std::vector<std::uint64_t> times;
    std::vector<std::array<double, 3>> corners;
    const auto gather = [](long k, auto* into) {
        for (double u : {0.0, 95.0})
            for (double v : {0.0, 71.0})
                into->push_back(kestrane_world_mm(k, u, v));
    };
    for (long k = 0; k < bufp->frames(); ++k) {
        const cip_t im = bufp->imagecp(k);
        pixels.emplace_back(im.pixels(), im.pixels() + im.pixel_count());
        times.push_back(bufp->timestamp(k));
        if (k != 5)
            gather(k, &corners);
    }
    for (const char* name : {"round.mha", "round.nrrd"})
        for (const bool compress : {true, false}) {
            SCOPED_TRACE(name);
            sequence_export_report_t report;
            wxString why;
            ASSERT_TRUE(write_sequence_file(path(name), compress, &report, &why)) << why;
            EXPECT_EQ(report.frames_without_pose, 1);
            sequence_recording_t s;
            ASSERT_TRUE(read_sequence_recording(path(name), {}, &s, &why)) << why;  // the header's own calibration
            make_sequence_recording(s, path("back.ks"));
            ASSERT_TRUE(recording_io->save_as(path("back.ks")));
            recording_io->new_recording();
            ASSERT_TRUE(recording_io->try_read_kestrane_file(path("back.ks")));
            ASSERT_EQ(bufp->frames(), long(pixels.size()));
            std::vector<std::array<double, 3>> back;
            for (long k = 0; k < bufp->frames(); ++k) {
                const cip_t im = bufp->imagecp(k);
                ASSERT_TRUE(std::equal(pixels[std::size_t(k)].begin(), pixels[std::size_t(k)].end(), im.pixels()));
                EXPECT_EQ(bufp->timestamp(k), times[std::size_t(k)]);
                if (k != 5)
                    gather(k, &back);
            }
            EXPECT_TRUE(bufp->positioncp(5).empty());
            for (std::size_t i = 0; i < corners.size(); ++i)
                for (std::size_t c = 0; c < 3; ++c)
                    ASSERT_NEAR(back[i][c], corners[i][c], 1e-5) << i;  // mm: 1e-6 cm
        }
}

// Untrusted headers and data: each refused with its reason, through File,
// Open too, with the recording held (frames and calibration) untouched.
TEST_F(SequenceFiles, UntrustedFilesRefusedAndNothingHeldLost)
{
    ASSERT_TRUE(write_demo_recording(dir, 4, 16, 12));
    const double held_scale = res->RES_XSCALE->value();
    const std::uint8_t held_pixel = bufp->imagecp(3).pixels()[7];
    const std::vector<std::uint8_t> z = deflated(stored, false);
    const std::vector<std::uint8_t> raw = stored;
    std::string nan_header = metaimage_header(z.size());
    nan_header.replace(nan_header.find(text_of(probe_to_tracker[1])), 4, " nan");
    std::vector<std::uint8_t> corrupt = z;
    corrupt[z.size() / 2] ^= 0x5a;
    corrupt[z.size() / 2 + 1] ^= 0xa5;
    std::string raw_header = metaimage_header(0);
    raw_header.replace(raw_header.find("CompressedData =\tTrue"), 21, "CompressedData = False");
    std::vector<std::uint8_t> one_more = stored;
    one_more.insert(one_more.end(), 15, 7);
    struct bad_case {
        const char* name;
        std::string header;
        std::vector<std::uint8_t> data;
        const char* reason;
    };
    const std::vector<bad_case> cases = {
        {"huge", metaimage_header(z.size(), "65535 65535 100000"), z, "more than can be held"},
        {"negative", metaimage_header(z.size(), "5 -3 5"), z, "sizes must be"},
        {"too wide", metaimage_header(z.size(), "65536 3 5"), z, "sizes must be"},
        {"fields beyond frames", metaimage_header(z.size(), "5 3 4"), z, "fields for frame 4 but its sizes give 4"},
        {"too few frames in data", metaimage_header(z.size(), "5 3 6"), z, "end before the frames do"},
        {"more data than frames", metaimage_header(z.size(), "5 3 5"), deflated(one_more, false), "hold more than"},
        {"size beyond the file", metaimage_header(z.size() + 1), z, "CompressedDataSize is"},
        {"size cut short", metaimage_header(z.size() / 2), z, "cut short"},
        {"size negative", metaimage_header(0).replace(metaimage_header(0).find("Size = 0"), 8, "Size = -9"), z,
         "CompressedDataSize is"},
        {"truncated compressed",
         metaimage_header(z.size()),
         {z.begin(), z.begin() + long(z.size() / 2)},
         "CompressedDataSize is"},
        {"corrupt", metaimage_header(z.size()), corrupt, "corrupt"},
        {"nan transform", nan_header, z, "frame 1's ProbeToTrackerTransform is marked OK but is not usable"},
        {"truncated raw", raw_header, {raw.begin(), raw.end() - 1}, "does not match the data, or the file is cut"},
        {"no data line", "ObjectType = Image\nSeq_Frame0000_Timestamp = 1\nDimSize = 5 3 5\n", {}, "ElementDataFile"},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.name);
        const wxString file = write("bad.mha", c.header, c.data);
        sequence_recording_t s;
        wxString why;
        EXPECT_FALSE(read_sequence_recording(file, options(""), &s, &why));
        EXPECT_NE(why.Find(c.reason), wxNOT_FOUND) << why;
        EXPECT_TRUE(s.frames.empty());
        // File, Open with the calibration typed in.
        scripted_interaction_t user;
        user.choice = 1;
        user.text = text_of(image_to_probe);
        interaction_t* before = set_interaction(&user);
        log_capture log;
        const bool opened = try_read_other_file(file);
        set_interaction(before);
        if (std::string(c.name) == "no data line")
            continue;  // not taken for a sequence: the volume reader refuses it in its own words
        EXPECT_FALSE(opened);
        EXPECT_TRUE(log.contains(c.reason, wxLOG_Error));
        ASSERT_EQ(bufp->frames(), 4);
        EXPECT_EQ(bufp->imagecp(3).pixels()[7], held_pixel);
        EXPECT_EQ(res->RES_XSCALE->value(), held_scale);
    }
    // A good file through File, Open replaces it, with a typed-in calibration.
    scripted_interaction_t user;
    user.choice = 1;
    user.text = text_of(image_to_probe);
    interaction_t* before = set_interaction(&user);
    const bool opened = try_read_other_file(foreign_metaimage());
    set_interaction(before);
    ASSERT_TRUE(opened);
    expect_imported("");
}

TEST_F(SequenceFiles, TimeStampsExactInHundredNanoseconds)
{
    std::uint64_t t = 0;
    EXPECT_TRUE(parse_sequence_time("1709283600.1234567", &t));
    EXPECT_EQ(t, 17092836001234567ULL);
    EXPECT_EQ(sequence_time_text(t), "1709283600.1234567");
    EXPECT_TRUE(parse_sequence_time("2.5e-3", &t));
    EXPECT_EQ(t, 25000u);
    for (const char* bad : {"-1", "nan", "", ".", "1e300", "12:30"})
        EXPECT_FALSE(parse_sequence_time(bad, &t)) << bad;
}

// --auto-clip: the frames cut to the non-zero extent of them all, each pixel
// kept where it was in the world; nothing to cut leaves the sequence alone.
TEST(SequenceClip, BorderCutAndEveryPixelKeptInPlace)
{
    sequence_recording_t s;
    s.width = 10;
    s.height = 8;
    s.calibration.pose = {1.0, -2.0, 0.5, 30.0, 10.0, -20.0};
    s.calibration.sx = 0.02;
    s.calibration.sy = 0.03;
    for (int k = 0; k < 2; ++k) {
        cip_t f = cip_t::make_8bit(10, 8);
        f.pixels()[(2 + k) * 10 + 3] = 50;  // frame 0 at (3, 2), frame 1 at (3, 3)
        f.pixels()[5 * 10 + 6 + k] = 60;     // (6, 5) and (7, 5)
        s.frames.push_back(f);
    }
    const auto world = [](const sequence_recording_t& r, double u, double v) {
        matrix16d m;
        const auto& c = r.calibration;
        m.forward(c.pose[0], c.pose[1], c.pose[2], c.pose[3], c.pose[4], c.pose[5]);
        return m * vertex3d{u * c.sx, v * c.sy, 0.0};
    };
    const vertex3d before = world(s, 7.0, 5.0);
    long x0 = 0, y0 = 0;
    ASSERT_TRUE(clip_sequence_to_content(&s, &x0, &y0));
    EXPECT_EQ(x0, 3);
    EXPECT_EQ(y0, 2);
    EXPECT_EQ(s.width, 5);   // columns 3..7
    EXPECT_EQ(s.height, 4);  // rows 2..5
    EXPECT_EQ(s.frames[1].pixels()[3 * 5 + 4], 60);  // (7, 5) is now (4, 3)
    EXPECT_EQ(s.frames[0].pixels()[0], 50);          // (3, 2) is now (0, 0)
    const vertex3d after = world(s, 4.0, 3.0);
    EXPECT_NEAR(after.x, before.x, 1e-12);
    EXPECT_NEAR(after.y, before.y, 1e-12);
    EXPECT_NEAR(after.z, before.z, 1e-12);

    EXPECT_FALSE(clip_sequence_to_content(&s, &x0, &y0));  // nothing left to cut
    sequence_recording_t dark = s;
    for (cip_t& f : dark.frames)
        std::fill_n(f.pixels(), f.pixel_count(), std::uint8_t(0));
    EXPECT_FALSE(clip_sequence_to_content(&dark, &x0, &y0));
    EXPECT_EQ(dark.width, 5);
}

}  // namespace
