// Model files from elsewhere: the .ssm reader takes exactly the documented
// layout and refuses everything else with its own message, before it
// allocates for what a file claims; the model's PLY surface gives its
// triangles and FIT_MODEL_LM landmarks; a failed load leaves no model and
// says which file failed.
#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

#include <gtest/gtest.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include "model_support.h"
#include "support/log_capture.h"
#include "surfaces/ply_reader.h"

namespace {

using namespace model_test;

void put32(std::string& out, std::uint32_t u)
{
    for (int k = 0; k < 4; ++k)
        out.push_back(static_cast<char>((u >> (8 * k)) & 0xff));
}

// A valid file of a 2-vertex surface (V = 6) with `modes` modes.
std::string ssm_bytes(std::int32_t modes = 2)
{
    std::string b;
    put32(b, 6);
    put32(b, static_cast<std::uint32_t>(modes));
    for (int i = 0; i < 6 + modes + 6 * modes; ++i)
        put32(b, std::bit_cast<std::uint32_t>(0.5f * static_cast<float>(i)));
    return b;
}

// The first error logged when `bytes` are read for `vertices` vertices, which must be refused.
std::string refusal(const std::string& bytes, std::size_t vertices = 2)
{
    log_capture log;
    ssm_t out;
    if (read_ssm({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, vertices, &out))
        return "(read without complaint)";
    if (!out.mean.empty() || !out.basis.empty() || log.count(wxLOG_Error) == 0)
        return "(refused without a message or with data left)";
    return log.records().front().text.ToStdString();
}

TEST(SsmFile, ReadsTheDocumentedLayout)
{
    const std::string b = ssm_bytes(3);
    ASSERT_EQ(b.size(), ssm_file_size(6, 3));
    ssm_t m;
    ASSERT_TRUE(read_ssm({reinterpret_cast<const std::uint8_t*>(b.data()), b.size()}, 2, &m));
    EXPECT_EQ(m.variables, 6);
    EXPECT_EQ(m.modes, 3);
    EXPECT_FLOAT_EQ(m.mean[5], 2.5f);
    EXPECT_FLOAT_EQ(m.eigenvalues[0], 3.0f);  // right after the 6 means
    // Variable 1's mode 2 is the 6th basis value: the basis runs variable by variable.
    EXPECT_FLOAT_EQ(m.component(1, 2), 0.5f * (6 + 3 + 5));
}

TEST(SsmFile, EachFaultHasItsMessage)
{
    const std::string good = ssm_bytes();
    EXPECT_EQ(refusal(""), "Could not read number of variables from SSM file");
    EXPECT_EQ(refusal(good.substr(0, 3)), "Could not read number of variables from SSM file");
    EXPECT_EQ(refusal(good, 3), "Number of SSM variables does not match surface");
    EXPECT_EQ(refusal(good.substr(0, 6)), "Could not read the number of modes from SSM file");
    std::string one_mode = good;
    one_mode[4] = 1;
    EXPECT_EQ(refusal(one_mode), "Need at least two SSM modes");
    const std::string values = "Could not read SSM mean, eigenvalues and basis vectors";
    EXPECT_EQ(refusal(good.substr(0, good.size() - 1)), values);
    EXPECT_EQ(refusal(good + '\0'), values);
    // More modes than variables cannot be a principal component model.
    std::string seven;
    put32(seven, 6);
    put32(seven, 7);
    seven.resize(ssm_file_size(6, 7));
    EXPECT_EQ(refusal(seven), values);
    // A claim of two billion modes is refused by its size, before anything is reserved for it.
    std::string huge = good.substr(0, 4);
    put32(huge, 0x7fffffff);
    EXPECT_EQ(refusal(huge), "Could not read SSM mean, eigenvalues and basis vectors");
    for (std::size_t at : {std::size_t{8}, std::size_t{8 + 4 * 6}, good.size() - 4}) {
        std::string bad = good;
        const std::uint32_t nan = std::bit_cast<std::uint32_t>(std::numeric_limits<float>::quiet_NaN());
        std::string word;
        put32(word, nan);
        bad.replace(at, 4, word);
        EXPECT_EQ(refusal(bad), values) << "non-finite value at byte " << at;
    }
}

TEST(SsmFile, SizesAreComputedWithoutOverflow)
{
    EXPECT_EQ(ssm_file_size(6, 2), 8u + 24u + 8u + 48u);
    const std::uint64_t v = INT32_MAX, m = std::uint64_t{1} << 20;
    EXPECT_EQ(ssm_file_size(INT32_MAX, 1 << 20), 8 + 4 * v + 4 * m + 4 * v * m);
    // 2^64 + 4 bytes: a size that wraps round must not pass for a small one.
    EXPECT_EQ(ssm_file_size(INT32_MAX, INT32_MAX), 0u);
    EXPECT_EQ(ssm_file_size(-1, 2), 0u);
}

TEST(SsmFile, LandmarkCommentsRoundTrip)
{
    const std::vector<ssm_landmark_t> marks = {{"T12 Spinous Process", 5}, {"Tip", 0}};
    std::vector<std::string> comments = {"made by hand", "LANDMARK \"x\" 1 2 3"};
    for (const ssm_landmark_t& m : marks)
        comments.push_back(fit_model_landmark_comment(m));
    comments.push_back("FIT_MODEL_LM Apex 2");  // one word needs no quotes
    std::vector<ssm_landmark_t> back;
    ASSERT_TRUE(read_fit_model_landmarks(comments, 6, &back));
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].name, "T12 Spinous Process");
    EXPECT_EQ(back[0].vertex, 5u);
    EXPECT_EQ(back[2].name, "Apex");
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"FIT_MODEL_LM \"Tip\" 6"},
                                                {"FIT_MODEL_LM \"Tip\""},
                                                {"FIT_MODEL_LM \"Tip\" -1"},
                                                {"FIT_MODEL_LM two words 1"},
                                                {"FIT_MODEL_LM \"A\x93\x9ax\" 1"},
                                                {"FIT_MODEL_LM \"A\tB\" 1"},
                                                {"FIT_MODEL_LM \"Tip\" 1", "FIT_MODEL_LM \"Tip\" 2"}}) {
        log_capture log;
        EXPECT_FALSE(read_fit_model_landmarks(bad, 6, &back)) << bad.back();
        EXPECT_TRUE(back.empty());
        EXPECT_EQ(log.count(wxLOG_Error), 1u);
    }
}

class ModelLoading : public ::testing::Test {
protected:
    wxString dir;
    shape_model_demo_t demo = make_shape_model_demo(60, 3);

    void SetUp() override
    {
        dir = wxFileName::CreateTempFileName("ks_model");
        wxRemoveFile(dir);
        ASSERT_TRUE(wxFileName::Mkdir(dir));
        ASSERT_TRUE(write_shape_model_demo(dir, demo, {}));
    }
    void TearDown() override { wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE); }
    wxString path(const wxString& name) const { return dir + "/" + name; }
    void write(const wxString& name, const std::string& bytes) const
    {
        std::ofstream(static_cast<const char*>(path(name).fn_str()), std::ios::binary) << bytes;
    }
    std::string read(const wxString& name) const
    {
        std::ifstream in(static_cast<const char*>(path(name).fn_str()), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Loads `name` after a good model, which a failure must clear; the errors logged.
    ssm_load_t load_after_good(const wxString& name, std::vector<wxString>* errors)
    {
        fit_model f;
        EXPECT_EQ(f.parse_ply_and_ssm_files(path(shape_model_demo_name)), ssm_load_t::ok);
        log_capture log;
        const ssm_load_t r = f.parse_ply_and_ssm_files(path(name));
        for (const captured_log_t& c : log.records())
            if (c.level == wxLOG_Error)
                errors->push_back(c.text);
        if (r != ssm_load_t::ok) {
            EXPECT_FALSE(f.loaded());
            EXPECT_TRUE(f.file_name().empty());
        }
        return r;
    }
};

TEST_F(ModelLoading, DemoFilesLoadWithTheirLandmarks)
{
    fit_model f;
    ASSERT_EQ(f.parse_ply_and_ssm_files(path(shape_model_demo_name)), ssm_load_t::ok);
    EXPECT_EQ(f.vertex_count(), demo.mesh.points.size());
    EXPECT_EQ(f.mode_count(), demo.model.modes);
    ASSERT_EQ(f.model_landmarks().size(), demo.marks.size());
    EXPECT_EQ(f.model_landmarks()[3].name, demo.marks[3].name);
    EXPECT_EQ(f.model_landmarks()[3].vertex, demo.marks[3].vertex);
    EXPECT_EQ(f.warped().triangles.size(), demo.mesh.triangles.size());
}

TEST_F(ModelLoading, EveryPlyFaultIsReportedAsTheSurfaceFile)
{
    const std::string ply = read(shape_model_demo_name);
    const std::string ssm = read("shape_model.ssm");
    std::vector<wxString> e;
    EXPECT_EQ(load_after_good("shape_model.ssm", &e), ssm_load_t::ply_failed);
    EXPECT_EQ(e.front(), "Surface file suffix is not .ply");
    e.clear();
    EXPECT_EQ(load_after_good("missing.ply", &e), ssm_load_t::ply_failed);
    EXPECT_EQ(e.back(), "Could not open ply file");
    e.clear();
    write("header.ply", "ply\nformat ascii 2.0\nend_header\n");
    write("header.ssm", ssm);
    EXPECT_EQ(load_after_good("header.ply", &e), ssm_load_t::ply_failed);
    EXPECT_EQ(e.back(), "Could not parse ply header");
    e.clear();
    write("body.ply", ply.substr(0, ply.size() - 5));
    write("body.ssm", ssm);
    EXPECT_EQ(load_after_good("body.ply", &e), ssm_load_t::ply_failed);
    EXPECT_EQ(e.back(), "Could not parse body of ply file");
    e.clear();
    write("nan.ply",
          "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
          "element face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 nan\n0 1 0\n3 0 1 2\n");
    EXPECT_EQ(load_after_good("nan.ply", &e), ssm_load_t::ply_failed);
    EXPECT_EQ(e.back(), "Could not parse body of ply file");
    e.clear();
    const std::size_t at = ply.find("FIT_MODEL_LM");
    write("landmark.ply", ply.substr(0, at) + "FIT_MODEL_LM \"Tip\" 99999" + ply.substr(ply.find('\n', at)));
    write("landmark.ssm", ssm);
    EXPECT_EQ(load_after_good("landmark.ply", &e), ssm_load_t::ply_failed);
    EXPECT_EQ(e.back(), "Could not parse ply header");
    EXPECT_EQ(ssm_load_failure_text(ssm_load_t::ply_failed), "Could not parse ply file\nShape model cleared");
}

TEST_F(ModelLoading, SsmFaultsAreReportedAsTheModelFile)
{
    const std::string ply = read(shape_model_demo_name);
    std::vector<wxString> e;
    write("alone.ply", ply);
    EXPECT_EQ(load_after_good("alone.ply", &e), ssm_load_t::ssm_failed);
    EXPECT_EQ(e.front(), "Could not read number of variables from SSM file");
    e.clear();
    write("short.ply", ply);
    const std::string ssm = read("shape_model.ssm");
    write("short.ssm", ssm.substr(0, ssm.size() - 4));
    EXPECT_EQ(load_after_good("short.ply", &e), ssm_load_t::ssm_failed);
    EXPECT_EQ(e.front(), "Could not read SSM mean, eigenvalues and basis vectors");
    e.clear();
    // Another model's file: its variables do not match this surface.
    write("other.ply", ply);
    write("other.ssm", ssm_bytes());
    EXPECT_EQ(load_after_good("other.ply", &e), ssm_load_t::ssm_failed);
    EXPECT_EQ(e.front(), "Number of SSM variables does not match surface");
    EXPECT_EQ(ssm_load_failure_text(ssm_load_t::ssm_failed), "Could not parse ssm file\nShape model cleared");
}

// Faces of four corners are split into triangles; the model is still usable.
TEST_F(ModelLoading, QuadFacesAreSplitIntoTriangles)
{
    const std::string quad =
        "ply\nformat ascii 1.0\ncomment FIT_MODEL_LM \"Corner\" 2\nelement vertex 4\n"
        "property float x\nproperty float y\nproperty float z\nelement face 1\n"
        "property list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n4 0 1 2 3\n";
    write("quad.ply", quad);
    std::string ssm;
    put32(ssm, 12);
    put32(ssm, 2);
    for (int i = 0; i < 12 + 2 + 24; ++i)
        put32(ssm, std::bit_cast<std::uint32_t>(i < 12 ? static_cast<float>(i % 3 == 2 ? 0 : (i / 3) % 2) : 1.0f));
    write("quad.ssm", ssm);
    fit_model f;
    ASSERT_EQ(f.parse_ply_and_ssm_files(path("quad.ply")), ssm_load_t::ok);
    EXPECT_EQ(f.warped().triangles.size(), 2u);
    EXPECT_EQ(f.model_landmarks().at(0).vertex, 2u);
}

}  // namespace
