// Probe definition files: every key read as written, each malformed file
// refused with its name and the key at fault, and probes found in the
// recording's folder before the settings folder.
#include <fstream>

#include <gtest/gtest.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include "acquisition/probe_library.h"
#include "rf_reference.h"
#include "support/log_capture.h"

namespace {

const std::string full_file =
    "# a comment line, and keys of other programs, are passed over\r\n"
    "OTHER_KEY 1 2 3\n"
    "PROBE_NAME  L12-5 linear\t\n"
    "PROBE_RADIUS 4.5\nPROBE_ANGLES 60\nPROBE_START_ANGLE -30\nPROBE_VECTORS 128\nPROBE_VECTOR_SCALE 0.03\n"
    "PROBE_SEGMENTS 2\nPROBE_FILTERS 2\nPROBE_COMPOUNDING_FILTER 1\nPROBE_CENTRE_FREQ 5 7.5\nPROBE_BANDWIDTH 2 3\n"
    "PROBE_BASEBAND_FREQ 0 1\nPROBE_MOTOR_FOV 70\nPROBE_MOTOR_RADIUS 2.5\nPROBE_MOTOR_STEPS 400\nPROBE_PSF_DEPTH 3\n"
    "PROBE_PSF_SAMPLES 2\nPROBE_PSF_VECTORS 2\nPROBE_PSF_REAL 1 2\n 3 4\nPROBE_PSF_IMAG\n-1 -2 -3 -4\n"
    "PROBE_100M_START_OFFSET 12\nPROBE_100M_SEGMENT_OFFSETS 0 500\nPROBE_100M_FILTER_LENGTH 3\n"
    "PROBE_100M_FILTER_HALF 1\nPROBE_100M_REAL_FILTER 1 2 3\n4 5 6\nPROBE_100M_IMAG_FILTER -2147483648 0 2147483647 "
    "+7 8 9\nPROBE_EXT_FREQ 40\nPROBE_EXT_FREQ_INDEX 5\nPROBE_EXT_CENTRE_FREQ 6\nPROBE_EXT_BANDWIDTH 4\n"
    "PROBE_EXT_BASEBAND_FREQ 1\nPROBE_ULAOP_SEQ_NAME seq one\nPROBE_ULAOP_SEQ_BLOCK 3\nPROBE_ULAOP_SEQ_ITEM 4";

TEST(ProbeFile, ReadsEveryKey)
{
    probe_t p;
    ASSERT_TRUE(parse_probe_text(full_file, "probe_full.cfg", &p));
    EXPECT_EQ(p.name, "L12-5 linear");
    EXPECT_EQ(p.ulaop_seq_name, "seq one");
    EXPECT_EQ((std::vector<double>{p.radius, p.angles, p.start_angle, p.vector_scale, p.motor_fov, p.motor_radius,
                                   p.psf_depth, p.ext_freq}),
              (std::vector<double>{4.5, 60, -30, 0.03, 70, 2.5, 3, 40}));
    EXPECT_EQ((std::vector<long>{p.vectors, p.segments, p.filters, p.compounding_filter, p.motor_steps, p.psf_samples,
                                 p.psf_vectors, p.ext_freq_index, p.ulaop_seq_block, p.ulaop_seq_item}),
              (std::vector<long>{128, 2, 2, 1, 400, 2, 2, 5, 3, 4}));
    using reals = std::vector<double>;
    EXPECT_EQ((std::vector<reals>{p.centre_freq, p.bandwidth, p.baseband_freq, p.ext_centre_freq, p.psf_real,
                                  p.psf_imag}),
              (std::vector<reals>{{5, 7.5}, {2, 3}, {0, 1}, {6}, {1, 2, 3, 4}, {-1, -2, -3, -4}}));
    const probe_rate_t& r = p.rate(sampling_rate_t::mhz100);
    EXPECT_EQ((std::vector<long>{r.start_offset, r.filter_length, r.filter_half}), (std::vector<long>{12, 3, 1}));
    EXPECT_EQ(r.segment_offsets, (std::vector<long>{0, 500}));
    EXPECT_EQ(r.real_filter, (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(r.imag_filter, (std::vector<std::int32_t>{INT32_MIN, 0, INT32_MAX, 7, 8, 9}));
    EXPECT_FALSE(p.rate(sampling_rate_t::mhz50).has_filters());
}

// Each file would make the filter read outside its taps, or hold values that cannot be what was meant.
TEST(ProbeFile, RefusesMalformedFilesNamingFileAndKey)
{
    const std::string taps = "PROBE_NAME p\nPROBE_50M_FILTER_LENGTH 3\nPROBE_50M_FILTER_HALF 1\n";
    const std::pair<std::string, const char*> cases[] = {
        {taps + "PROBE_50M_REAL_FILTER 1 2\nPROBE_50M_IMAG_FILTER 1 2 3\n", "PROBE_50M_REAL_FILTER"},
        {taps + "PROBE_50M_REAL_FILTER 1 2 3\nPROBE_50M_IMAG_FILTER 1 2 3 4\n", "PROBE_50M_IMAG_FILTER"},
        {taps + "PROBE_FILTERS 2\nPROBE_50M_REAL_FILTER 1 2 3\nPROBE_50M_IMAG_FILTER 1 2 3\n", "PROBE_50M_REAL_FILTER"},
        {taps + "PROBE_50M_REAL_FILTER 1 2 3\n", "PROBE_50M_IMAG_FILTER"},
        {taps + "PROBE_50M_REAL_FILTER 1 2 2147483648\nPROBE_50M_IMAG_FILTER 1 2 3\n", "PROBE_50M_REAL_FILTER"},
        {taps + "PROBE_50M_REAL_FILTER 1 2 3\nPROBE_50M_IMAG_FILTER 1 -99999999999999999999999 3\n",
         "PROBE_50M_IMAG_FILTER"},
        {taps + "PROBE_50M_REAL_FILTER 1 2 3\nPROBE_50M_IMAG_FILTER 1 0.5 3\n", "PROBE_50M_IMAG_FILTER"},
        {"PROBE_NAME p\nPROBE_200M_FILTER_LENGTH 3\nPROBE_200M_FILTER_HALF 3\nPROBE_200M_REAL_FILTER 1 2 3\n"
         "PROBE_200M_IMAG_FILTER 1 2 3\n",
         "PROBE_200M_FILTER_HALF"},
        {"PROBE_NAME p\nPROBE_EXT_FILTER_HALF -1\n", "PROBE_EXT_FILTER_HALF"},
        {"PROBE_NAME p\nPROBE_EXT_FILTER_LENGTH 0\n", "PROBE_EXT_FILTER_LENGTH"},
        {"PROBE_NAME p\nPROBE_EXT_FILTER_LENGTH 100000\n", "PROBE_EXT_FILTER_LENGTH"},
        {"PROBE_NAME p\nPROBE_VECTORS many\n", "PROBE_VECTORS"},
        {"PROBE_NAME p\nPROBE_VECTORS 1.5\n", "PROBE_VECTORS"},
        {"PROBE_NAME p\nPROBE_VECTORS 0\n", "PROBE_VECTORS"},
        {"PROBE_NAME p\nPROBE_RADIUS 1 2\n", "PROBE_RADIUS"},
        {"PROBE_NAME p\nPROBE_RADIUS nan\n", "PROBE_RADIUS"},
        {"PROBE_NAME p\nPROBE_RADIUS\n", "PROBE_RADIUS"},
        {"PROBE_NAME p\nPROBE_ANGLES 1\nPROBE_ANGLES 2\n", "PROBE_ANGLES"},
        {"PROBE_RADIUS 1\n", "PROBE_NAME"},
        {"PROBE_NAME\t \nPROBE_RADIUS 1\n", "PROBE_NAME"},
        {"PROBE_NAME p\nPROBE_SEGMENTS 2\nPROBE_50M_SEGMENT_OFFSETS 0\n", "PROBE_50M_SEGMENT_OFFSETS"},
        {"PROBE_NAME p\nPROBE_PSF_SAMPLES 2\nPROBE_PSF_VECTORS 3\nPROBE_PSF_REAL 1 2 3 4 5\n", "PROBE_PSF_REAL"},
        {"PROBE_NAME p\nPROBE_FILTERS 2\nPROBE_COMPOUNDING_FILTER 3\n", "PROBE_COMPOUNDING_FILTER"},
        {"PROBE_NAME p\nPROBE_FILTERS 65\n", "PROBE_FILTERS"},
    };
    for (const auto& [text, key] : cases) {
        log_capture log;
        probe_t p;
        p.name = "untouched";
        EXPECT_FALSE(parse_probe_text(text, "/x/probe_bad.cfg", &p)) << text;
        EXPECT_EQ(p.name, "untouched") << "a refused file leaves the probe as it was";
        ASSERT_EQ(log.count(wxLOG_Error), 1u) << text;
        const wxString& said = log.records()[0].text;
        EXPECT_TRUE(said.Contains("/x/probe_bad.cfg") && said.Contains(key)) << said;
    }
}

class ProbeFolders : public ::testing::Test {
protected:
    wxString root;
    void SetUp() override
    {
        root = wxFileName::CreateTempFileName("ks_probe");
        wxRemoveFile(root);
        for (const char* sub : {"", "/rec", "/settings"})
            ASSERT_TRUE(wxFileName::Mkdir(root + sub));
    }
    void TearDown() override { wxFileName::Rmdir(root, wxPATH_RMDIR_RECURSIVE); }
    void write(const wxString& name, const std::string& text) const
    {
        std::ofstream(wxString(root + "/" + name).ToStdString(), std::ios::binary) << text;
    }
    std::vector<wxString> folders() const { return {root + "/rec", root + "/settings"}; }
};

// The recording's folder comes first and hides a probe of the same name; other names are not probe files.
TEST_F(ProbeFolders, ListsRecordingFolderFirst)
{
    write("rec/probe_b.cfg", "PROBE_NAME beta\nPROBE_VECTORS 1\n");
    write("rec/probe_a.cfg", "PROBE_NAME alpha\nPROBE_VECTORS 1\n");
    write("settings/probe_0.cfg", "PROBE_NAME beta\nPROBE_VECTORS 2\n");
    write("settings/probe_1.cfg", "PROBE_NAME gamma\nPROBE_VECTORS 3\n");
    write("settings/Probe_2.cfg", "PROBE_NAME upper\n");
    write("settings/probe_3.txt", "PROBE_NAME text\n");
    write("settings/probe_4.cfg", "PROBE_VECTORS 3\n");
    const std::vector<probe_entry_t> list = list_probes(folders());
    std::vector<wxString> names;
    for (const auto& e : list)
        names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<wxString>{"alpha", "beta", "gamma"}));

    probe_t p;
    ASSERT_EQ(find_probe(folders(), "beta", -1, &p), probe_choice_t::found);
    EXPECT_EQ(p.vectors, 1) << "the recording's own definition wins";
    ASSERT_EQ(find_probe(folders(), "", 2, &p), probe_choice_t::found);
    EXPECT_EQ(p.name, "gamma");
    EXPECT_EQ(find_probe(folders(), "", -1, &p), probe_choice_t::none);
}

TEST_F(ProbeFolders, MissingProbesAreNamed)
{
    log_capture log;
    probe_t p;
    EXPECT_EQ(find_probe(folders(), "", 0, &p), probe_choice_t::failed);
    EXPECT_TRUE(log.contains("No RF probe definition file", wxLOG_Warning));
    write("settings/probe_x.cfg", "PROBE_NAME x\n");
    EXPECT_EQ(find_probe(folders(), "absent", 0, &p), probe_choice_t::failed);
    EXPECT_TRUE(log.contains("Configuration file not found for probe 'absent'.", wxLOG_Warning));
    write("settings/probe_big.cfg", "PROBE_NAME big\n" + std::string(max_probe_file_bytes, ' '));
    EXPECT_EQ(find_probe(folders(), "big", -1, &p), probe_choice_t::failed) << "too long to be a probe file";
}

}  // namespace
