// A folder of DICOM files made into a recording of 16-bit frames: series told
// apart and chosen, the ordering question, frames placed and windowed as the
// files say; the window followed (only the frame on screen during a drag);
// the recording saved beside its files, opened again from them, and refused
// when they changed or when it would be saved where it cannot find them; a
// failed or cancelled load that leaves the recording held as it was.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

#include "common/dynabuf.h"
#include "common/interaction.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "support/log_capture.h"
#include "support/session_fixture.h"
#include "volumes/dicom_display.h"
#include "volumes/dicom_loader.h"
#include "volumes/dicom_writer.h"
#include "volumes/slice_pose.h"

namespace {

class answering_t : public headless_interaction_t {
public:
    std::optional<int> choice;
    answer_t answer = answer_t::yes;
    long cancel_after = -1;  // progress updates before Cancel
    std::vector<wxString> asked, informed;

    answer_t ask(const wxString& caption, const wxString&, question_t, answer_t) override
    {
        asked.push_back(caption);
        return answer;
    }
    std::optional<int> ask_choice(const wxString& caption, const wxString&, const std::vector<wxString>& c) override
    {
        asked.push_back(caption);
        choices = c;
        return choice;
    }
    void inform(const wxString&, const wxString& message) override { informed.push_back(message); }
    bool progress_update(int, const wxString&) override { return cancel_after < 0 || updates++ < cancel_after; }
    std::vector<wxString> choices;
    long updates = 0;
};

class DicomRecordingTest : public SessionTest {
protected:
    answering_t ui_;
    interaction_t* previous_ = nullptr;
    std::unique_ptr<dicom_display_service_t> display_;

    void SetUp() override
    {
        SessionTest::SetUp();
        previous_ = set_interaction(&ui_);
        display_ = std::make_unique<dicom_display_service_t>();
    }
    void TearDown() override
    {
        display_.reset();
        set_interaction(previous_);
        SessionTest::TearDown();
    }

    // A signed 4 x 3 slice of series `uid` at height z (mm), values from `base`
    // (Hounsfield, intercept -1000), with padding -2000.
    void write_slice(const wxString& name, const std::string& uid, double z, std::int16_t base)
    {
        dicom_writer_t w;
        w.meta("1.2.840.10008.1.2.1");
        w.text(0x0008, 0x0060, "CS", "CT");
        w.text(0x0020, 0x000E, "UI", uid);
        w.text(0x0020, 0x0032, "DS", "5\\-3\\" + std::to_string(z));
        w.text(0x0020, 0x0037, "DS", "1\\0\\0\\0\\0.6\\-0.8");
        w.us(0x0028, 0x0010, 3);
        w.us(0x0028, 0x0011, 4);
        w.text(0x0028, 0x0030, "DS", "0.5\\0.8");
        w.us(0x0028, 0x0100, 16);
        w.us(0x0028, 0x0101, 16);
        w.us(0x0028, 0x0102, 15);
        w.us(0x0028, 0x0103, 1);
        w.ss(0x0028, 0x0120, -2000);
        w.text(0x0028, 0x1050, "DS", "100");
        w.text(0x0028, 0x1051, "DS", "256");
        w.text(0x0028, 0x1052, "DS", "-1000");
        w.text(0x0028, 0x1053, "DS", "1");
        std::vector<std::uint16_t> px;
        for (std::int16_t i = 0; i < 12; ++i)
            px.push_back(std::uint16_t(i == 11 ? -2000 : base + i));
        w.pixels(px);
        std::filesystem::create_directories(std::filesystem::path(path(name).ToStdString()).parent_path());
        std::ofstream(path(name).ToStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(w.bytes.data()), std::streamsize(w.bytes.size()));
    }
    // Three slices of series 1.1 whose names run against their heights, one of 2.2, a text file.
    void write_folder()
    {
        write_slice("data/a_top.dcm", "1.1", 20.0, 1050);
        write_slice("data/z_bottom.dcm", "1.1", -10.0, 1060);
        write_slice("data/deeper/m_middle.dcm", "1.1", 5.0, 1070);
        write_slice("data/other.dcm", "2.2", 0.0, 1080);
        std::ofstream(path("data/notes.txt").ToStdString()) << "not an image";
    }
    // The kept value (signed + 32768) of pixel i of the slice written with `base`.
    static std::uint16_t kept(std::int16_t base, int i) { return std::uint16_t(base + i + 32768); }
};

TEST_F(DicomRecordingTest, FolderBecomesSixteenBitFramesInLocationOrder)
{
    write_folder();
    std::filesystem::create_directory_symlink(path("data").ToStdString(), path("data/deeper/loop").ToStdString());
    ui_.choice = 0;  // series 1.1 is met first: a_top.dcm
    ASSERT_TRUE(try_read_other_file(path("data")));
    ASSERT_EQ(ui_.choices.size(), 2u);
    EXPECT_EQ(ui_.choices[0].BeforeFirst(','), "1: DICOM series of 3 frames");
    EXPECT_TRUE(ui_.choices[0].EndsWith("size 4 x 3 (CT).")) << ui_.choices[0];
    // The names run against the heights: asked, and sorted.
    EXPECT_NE(std::find(ui_.asked.begin(), ui_.asked.end(), "Sort DICOM frames"), ui_.asked.end());
    ASSERT_EQ(ui_.informed.size(), 1u);
    EXPECT_TRUE(ui_.informed[0].Contains("Ignored a further 1 frames")) << ui_.informed[0];

    ASSERT_EQ(bufp->frames(), 3);
    EXPECT_TRUE(res->RES_BUF_DICOM->value());
    EXPECT_EQ(res->RES_ASCII_FILENAME->value().GetFullPath(), path("data/data_series1.ks"));
    EXPECT_DOUBLE_EQ(res->RES_XSCALE->value(), 0.08);  // between columns
    EXPECT_DOUBLE_EQ(res->RES_YSCALE->value(), 0.05);  // between rows
    EXPECT_DOUBLE_EQ(res->RES_DICOM_HUB->value(), -1000.0 - 32768.0);
    EXPECT_DOUBLE_EQ(res->RES_DICOM_WIN_CENTRE->value(), 100.0);
    // Lowest first: -10, 5, 20 mm; sources count frames in file-name order (a_top, deeper/m_middle, other, z_bottom).
    const std::int16_t bases[] = {1060, 1070, 1050};
    EXPECT_EQ(*res->RES_DICOM_FRAME_LIST->value(), (std::vector<long>{3, 1, 0}));
    for (long f = 0; f < 3; ++f) {
        const cip_t frame = bufp->imagecp(f);
        ASSERT_TRUE(frame.has_samples());
        EXPECT_EQ(frame.samples()[0], kept(bases[f], 0));
        EXPECT_EQ(frame.samples()[11], std::uint16_t(-2000 + 32768));
        // Window 100 / 256: one grey a unit, HU = base + i - 1000.
        EXPECT_EQ(frame.pixels()[0], bases[f] - 1000 - 100 + 127);
        EXPECT_EQ(frame.pixels()[11], 1);  // padding
    }
    matrix16d m;
    m.forward(bufp->positioncp(2).get());
    EXPECT_LT(length(column(m, 3) - vertex3d{0.5, -0.3, 2.0}), 1e-5);

    // A window drag re-windows only the frame shown, the rest when it ends.
    const long before = display_->frames_windowed();
    res->RES_BUF_CURRENT_FRAME->write(1);
    display_->begin_drag();
    res->RES_DICOM_WIN_CENTRE->write(110.0);
    EXPECT_EQ(display_->frames_windowed(), before + 1);
    EXPECT_EQ(bufp->imagecp(1).pixels()[0], bases[1] - 1000 - 110 + 127);
    EXPECT_EQ(bufp->imagecp(0).pixels()[0], bases[0] - 1000 - 100 + 127);
    display_->end_drag();
    EXPECT_EQ(display_->frames_windowed(), before + 4);
    EXPECT_EQ(bufp->imagecp(0).pixels()[0], bases[0] - 1000 - 110 + 127);
}

TEST_F(DicomRecordingTest, SavedBesideItsFilesAndOpenedFromThem)
{
    write_folder();
    ASSERT_TRUE(try_read_other_file(path("data/a_top.dcm")));  // a file: its series, no question
    EXPECT_TRUE(ui_.choices.empty());
    const wxString saved = res->RES_ASCII_FILENAME->value().GetFullPath();
    res->RES_DICOM_WIN_WIDTH->write(512.0);
    ASSERT_TRUE(recording_io->try_write_kestrane_file(saved));
    EXPECT_FALSE(wxFileExists(path("data/data_series1.kvi")));  // the frames stay in the DICOM files

    // Opening the folder again points to the recording.
    log_capture log;
    ui_.choice = 0;
    EXPECT_FALSE(load_dicom_files(path("data")));
    EXPECT_TRUE(log.contains("already been converted")) << saved;

    recording_io->new_recording();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(saved));
    ASSERT_EQ(bufp->frames(), 3);
    EXPECT_TRUE(res->RES_BUF_DICOM->value());
    EXPECT_EQ(bufp->imagecp(0).samples()[2], kept(1060, 2));
    // Window 100 / 512: two units a grey level.
    EXPECT_EQ(bufp->imagecp(0).pixels()[2], (1060 + 2 - 1000 - 100) * 256 / 512 + 127);
    EXPECT_EQ(bufp->imagecp(0).pixels()[11], 1);

    // Elsewhere it could not find its frames: refused, pointing to the raw choice.
    wxFileName::Mkdir(path("elsewhere"));
    log.clear();
    EXPECT_FALSE(recording_io->save_as(path("elsewhere/copy.ks")));
    EXPECT_TRUE(log.contains("Kestrane raw data file"));
    EXPECT_FALSE(wxFileExists(path("elsewhere/copy.ks")));
    // As 8-bit frames it can go anywhere, and opens as a plain recording.
    ASSERT_TRUE(recording_io->save_as(path("elsewhere/copy.ks"), true, true));
    recording_io->new_recording();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("elsewhere/copy.ks")));
    EXPECT_FALSE(res->RES_BUF_DICOM->value());
    EXPECT_EQ(bufp->imagecp(0).pixels()[2], (1060 + 2 - 1000 - 100) * 256 / 512 + 127);
}

TEST_F(DicomRecordingTest, ChangedFilesRefuseTheRecording)
{
    write_folder();
    ui_.choice = 0;
    ASSERT_TRUE(load_dicom_files(path("data")));
    const wxString saved = res->RES_ASCII_FILENAME->value().GetFullPath();
    ASSERT_TRUE(recording_io->try_write_kestrane_file(saved));

    log_capture log;
    // A slice moved: other frames would be shown in its place.
    write_slice("data/deeper/m_middle.dcm", "1.1", 6.0, 1070);
    EXPECT_FALSE(recording_io->try_read_kestrane_file(saved));
    EXPECT_TRUE(log.contains("have changed since this recording was saved")) << saved;
    // A file added before the others shifts every source.
    write_slice("data/deeper/m_middle.dcm", "1.1", 5.0, 1070);
    ASSERT_TRUE(recording_io->try_read_kestrane_file(saved));
    write_slice("data/0_new.dcm", "1.1", 30.0, 1000);
    EXPECT_FALSE(recording_io->try_read_kestrane_file(saved));
    std::filesystem::remove(path("data/0_new.dcm").ToStdString());
    // A slice gone.
    std::filesystem::remove(path("data/a_top.dcm").ToStdString());
    log.clear();
    EXPECT_FALSE(recording_io->try_read_kestrane_file(saved));
    EXPECT_TRUE(log.contains("have changed")) << saved;
    // The recording moved away from its files.
    write_slice("data/a_top.dcm", "1.1", 20.0, 1050);
    wxFileName::Mkdir(path("moved"));
    ASSERT_TRUE(wxCopyFile(saved, path("moved/data_series1.ks")));
    EXPECT_FALSE(recording_io->try_read_kestrane_file(path("moved/data_series1.ks")));
    EXPECT_TRUE(recording_io->try_read_kestrane_file(saved));

    // A file from before the Hounsfield settings (version 5.2) takes the data's own rescale, with a note.
    std::ifstream in(saved.ToStdString());
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string edited;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("RES_VERSION ", 0) == 0)
            line = "RES_VERSION 5.2";
        else if (line.rfind("RES_DICOM_HUB ", 0) == 0)
            line = "RES_DICOM_HUB 0";
        edited += line + "\n";
    }
    std::ofstream(saved.ToStdString()) << edited;
    log.clear();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(saved));
    EXPECT_DOUBLE_EQ(res->RES_DICOM_HUB->value(), -1000.0 - 32768.0);
    EXPECT_TRUE(log.contains("Adding resources for conversion to Hounsfield Units"));
    EXPECT_EQ(res->RES_VERSION->value(), "6.02");
}

TEST_F(DicomRecordingTest, FailedOrCancelledLoadsKeepTheRecordingHeld)
{
    write_folder();
    ui_.choice = 1;  // series 2.2, one frame
    ASSERT_TRUE(load_dicom_files(path("data")));
    ASSERT_EQ(bufp->frames(), 1);
    const cip_t held = bufp->imagecp(0);
    const wxFileName held_name = res->RES_ASCII_FILENAME->value();

    // No choice made, a cancelled search or read, a damaged slice, an empty folder.
    ui_.choice.reset();
    EXPECT_FALSE(load_dicom_files(path("data")));
    ui_.choice = 0;
    ui_.cancel_after = 0;
    EXPECT_FALSE(load_dicom_files(path("data")));
    ui_.cancel_after = -1;
    write_slice("more/a.dcm", "3.3", 0.0, 0);
    {
        // A slice whose header reads but whose RLE data are damaged.
        dicom_writer_t w;
        w.meta("1.2.840.10008.1.2.5");
        w.text(0x0020, 0x000E, "UI", "3.3");
        w.text(0x0020, 0x0032, "DS", "5\\-3\\1");
        w.text(0x0020, 0x0037, "DS", "1\\0\\0\\0\\0.6\\-0.8");
        w.us(0x0028, 0x0010, 3);
        w.us(0x0028, 0x0011, 4);
        w.text(0x0028, 0x0030, "DS", "0.5\\0.8");
        w.fragments({std::vector<std::uint8_t>(64, 0xFF)});
        std::ofstream(path("more/b.dcm").ToStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(w.bytes.data()), std::streamsize(w.bytes.size()));
    }
    log_capture log;
    EXPECT_FALSE(load_dicom_files(path("more")));
    EXPECT_TRUE(log.contains("b.dcm"));
    wxFileName::Mkdir(path("empty"));
    EXPECT_FALSE(load_dicom_files(path("empty")));
    EXPECT_TRUE(log.contains("There are no data files in this directory."));
    EXPECT_FALSE(try_read_other_file(path("missing.nrrd")));

    ASSERT_EQ(bufp->frames(), 1);
    EXPECT_TRUE(bufp->imagecp(0) == held);
    EXPECT_EQ(res->RES_ASCII_FILENAME->value(), held_name);
    EXPECT_TRUE(res->RES_BUF_DICOM->value());
}

// A DICOMDIR names the files to load; unsafe or missing references are
// left out, and the recording made opens again like any other.
TEST_F(DicomRecordingTest, DicomdirLoadsTheFilesItNames)
{
    write_folder();
    write_slice("outside.dcm", "1.1", 40.0, 1000);
    dicom_writer_t d;
    d.meta("1.2.840.10008.1.2.1");
    d.begin_sequence(0x0004, 0x1220);
    for (const char* id :
         {"", "a_top.dcm", "deeper\\m_middle.dcm", "..\\outside.dcm", "missing.dcm", "deeper\\loop\\a_top.dcm"}) {
        d.begin_item();
        d.text(0x0004, 0x1430, "CS", *id ? "IMAGE" : "SERIES");
        if (*id)
            d.text(0x0004, 0x1500, "CS", id);
        d.end_item();
    }
    d.end_sequence();
    std::ofstream(path("data/DICOMDIR").ToStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(d.bytes.data()), std::streamsize(d.bytes.size()));
    std::filesystem::create_directory_symlink(path("data").ToStdString(), path("data/deeper/loop").ToStdString());

    log_capture log;
    ASSERT_TRUE(try_read_other_file(path("data/DICOMDIR")));
    EXPECT_TRUE(ui_.choices.empty());  // one series among the files named
    EXPECT_TRUE(log.contains("3 files named in the DICOMDIR")) << log.records().size();
    ASSERT_EQ(bufp->frames(), 2);
    EXPECT_EQ(bufp->imagecp(0).samples()[0], kept(1070, 0));  // 5 mm, then 20 mm
    EXPECT_EQ(bufp->imagecp(1).samples()[0], kept(1050, 0));
    const wxString saved = res->RES_ASCII_FILENAME->value().GetFullPath();
    ASSERT_TRUE(recording_io->try_write_kestrane_file(saved));
    recording_io->new_recording();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(saved));
    EXPECT_EQ(bufp->frames(), 2);
}

// Smoothing before windowing: the mean over the square, padding neither
// counted nor changed, and the padding test made on the unfiltered value.
TEST(DicomFilter, MeansLeavePaddingOut)
{
    const long w = 5, h = 4;
    std::vector<std::uint16_t> in(std::size_t(w * h));
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = std::uint16_t(100 * i);
    in[6] = 7;  // padding
    std::vector<std::uint16_t> out(in.size());
    filter_dicom(in, out, w, h, 1, std::uint16_t(7));
    // A brute-force mean for every pixel.
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            const std::size_t i = std::size_t(y * w + x);
            if (i == 6) {
                EXPECT_EQ(out[i], 7);
                continue;
            }
            std::uint64_t sum = 0, n = 0;
            for (long v = y - 1; v <= y + 1; ++v)
                for (long u = x - 1; u <= x + 1; ++u)
                    if (u >= 0 && u < w && v >= 0 && v < h && !(u == 1 && v == 1)) {
                        sum += in[std::size_t(v * w + u)];
                        ++n;
                    }
            EXPECT_EQ(out[i], (sum + n / 2) / n) << x << "," << y;
        }
    // Size 0 changes nothing; a size beyond the image averages all of it.
    filter_dicom(in, out, w, h, 0, std::nullopt);
    EXPECT_EQ(out, in);
    filter_dicom(in, out, w, h, 50, std::nullopt);
    std::uint64_t total = 0;
    for (std::uint16_t v : in)
        total += v;
    EXPECT_EQ(out[0], (total + in.size() / 2) / in.size());
    EXPECT_EQ(out.back(), out[0]);

    // Windowed (level = value - 1 here): a padded pixel shows 1; a mean that
    // happens to equal the padding value is data.
    cip_t frame = cip_t::make_16bit(3, 1);
    frame.samples()[0] = 0;
    frame.samples()[1] = 10;
    frame.samples()[2] = 5;
    const window_table_t table(dicom_window_t{128.0, 256.0, 1.0, 0.0, {}});
    window_frame(frame, table, std::uint16_t(5), 1);
    EXPECT_EQ(frame.pixels()[0], 4);  // (0 + 10) / 2
    EXPECT_EQ(frame.pixels()[1], 4);  // the padded neighbour left out
    EXPECT_EQ(frame.pixels()[2], 1);
}

}  // namespace
