// The session's thickness work as the page and scripts run it: on a CT
// volume of a flat cortex and a box surface whose face lies on the bone,
// mapping fills the results of that surface only while it stays, a
// cancelled mapping keeps the old ones, results go to files and come back,
// the overwrite question guards old files, and the density estimate says
// when it cannot tell.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "../support/log_capture.h"
#include "../support/session_fixture.h"
#include "common/interaction.h"
#include "resources/resource_table.h"
#include "surfaces/ply_reader.h"
#include "surfaces/surface_files.h"
#include "thickness/thickness_colours.h"
#include "surfaces/surface_interp.h"
#include "script/script.h"
#include "thickness/thickness_actions.h"
#include "thickness/thickness_script_functions.h"
#include "thickness/thickness_session.h"
#include "volumes/dicom_loader.h"

namespace {

std::string read_text(const wxString& name)
{
    std::ifstream in(name.utf8_string(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Cancels at a chosen progress update and answers questions in turn.
class answering_t : public headless_interaction_t {
public:
    int cancel_at = -1, updates = 0;
    std::vector<answer_t> answers;
    std::vector<wxString> asked, progress;
    bool progress_update(int, const wxString& text) override
    {
        progress.push_back(text);
        return ++updates != cancel_at;
    }
    answer_t ask(const wxString&, const wxString& message, question_t, answer_t fallback) override
    {
        asked.push_back(message);
        if (answers.empty())
            return fallback;
        const answer_t a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
};

// 0.5 mm voxels; bone from x = 20 mm: cortex 1600 HU for 2.5 mm, then 200 HU; a 2 mm blur along x.
void write_cortex_nrrd(const wxString& path)
{
    const int nx = 100, ny = 60, nz = 30;
    const double sigma = 2.0 / 2.3548200450309493 / 0.5;
    auto phi = [](double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); };
    std::vector<std::int16_t> row(nx);
    for (int x = 0; x < nx; ++x)
        row[std::size_t(x)] = std::int16_t(std::lround(1600 * phi((x - 40) / sigma) - 1400 * phi((x - 45) / sigma)));
    std::ofstream out(path.utf8_string(), std::ios::binary);
    out << "NRRD0004\ntype: short\ndimension: 3\nspace: left-posterior-superior\nsizes: 100 60 30\n"
           "space directions: (0.5,0,0) (0,0.5,0) (0,0,0.5)\nspace origin: (0,0,0)\nendian: little\nencoding: raw\n\n";
    for (int k = 0; k < ny * nz; ++k)
        out.write(reinterpret_cast<const char*>(row.data()), std::streamsize(row.size() * sizeof(std::int16_t)));
}

// A box from x0 cm into the bone, each face with points of its own (so their normals are the face's).
std::shared_ptr<surface_interp> box(double x0)
{
    // Corners exact in single precision, so that the surface saved as PLY is the same surface.
    const double lo[3] = {x0, 0.75, 0.375}, hi[3] = {x0 + 1.0, 2.25, 1.125};
    surface_mesh_t m;
    for (int axis = 0; axis < 3; ++axis)
        for (int side = 0; side < 2; ++side) {
            const auto first = std::uint32_t(m.points.size());
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            for (int k = 0; k < 4; ++k) {
                double p[3];
                p[axis] = side ? hi[axis] : lo[axis];
                p[u] = (k == 1 || k == 2) ? hi[u] : lo[u];
                p[v] = k >= 2 ? hi[v] : lo[v];
                m.points.push_back({{p[0], p[1], p[2]}, {}});
            }
            if (side) {  // turned out of the box
                m.triangles.push_back({{first, first + 1, first + 2}});
                m.triangles.push_back({{first, first + 2, first + 3}});
            } else {
                m.triangles.push_back({{first, first + 2, first + 1}});
                m.triangles.push_back({{first, first + 3, first + 2}});
            }
        }
    return surface_interp::from_mesh(std::move(m), 0);
}

class ThicknessSession : public SessionTest {
protected:
    answering_t answers;
    interaction_t* previous = nullptr;
    void SetUp() override
    {
        SessionTest::SetUp();
        previous = set_interaction(&answers);
        write_cortex_nrrd(path("ct.nrrd"));
        ASSERT_TRUE(load_volume_file(path("ct.nrrd")));
        res->RES_SURFACE[0]->write(box(2.0));
        res->RES_THICKNESS_GAUSS->write(2.0);
        res->RES_THICKNESS_B->write(1600.0);
    }
    void TearDown() override
    {
        set_interaction(previous);
        SessionTest::TearDown();
    }
    // The results of the points on the face lying on the bone (normals -x).
    std::vector<double> face_values(thickness_results_t::quantity_t q)
    {
        const surface_mesh_t mesh = thickness::mesh_of(*res->RES_SURFACE[0]->value());
        const thickness_results_t* r = thickness_session().results(0);
        std::vector<double> out;
        for (std::size_t i = 0; r && i < mesh.points.size(); ++i)
            if (mesh.points[i].normal.x < -0.9)
                out.push_back(r->values[q][i]);
        return out;
    }
};

TEST_F(ThicknessSession, MappingCancellingAndTheSurfaceTheResultsBelongTo)
{
    EXPECT_FALSE(thickness_surf_fit());  // no surface chosen yet
    EXPECT_FALSE(choose_thickness_surface(5));
    ASSERT_TRUE(choose_thickness_surface(0));
    ASSERT_TRUE(thickness_surf_fit());
    const std::vector<double> thick = face_values(thickness_results_t::thick);
    ASSERT_EQ(thick.size(), 4u);
    for (double t : thick)
        EXPECT_NEAR(t, 2.5, 0.05);

    // Cancelled with other settings: the results held are the old ones.
    answers.updates = 0;
    answers.cancel_at = 1;
    res->RES_THICKNESS_B->write(900.0);
    EXPECT_FALSE(thickness_surf_fit());
    EXPECT_EQ(face_values(thickness_results_t::thick), thick);
    answers.cancel_at = -1;

    // The picked point again, with its profile for the plot.
    point_fit_detail_t detail;
    res->RES_THICKNESS_B->write(1600.0);
    const surface_mesh_t mesh = thickness::mesh_of(*res->RES_SURFACE[0]->value());
    std::size_t on_bone = 0;
    while (mesh.points[on_bone].normal.x > -0.9)
        ++on_bone;
    const point_result_t r = thickness_session().refit_point(0, on_bone, &detail);
    EXPECT_NEAR(r.thickness, 2.5, 0.05);
    EXPECT_FALSE(detail.profile.values.empty());
    EXPECT_FALSE(thickness_session().refit_point(0, mesh.points.size(), &detail).ok());

    // With the density fitted at every point, the progress shows their running mean (and says nothing
    // of it with the density given).
    for (const wxString& text : answers.progress)
        EXPECT_FALSE(text.Contains("Estimated real cortical density")) << text;
    res->RES_THICKNESS_B->write(1e10);
    answers.progress.clear();
    ASSERT_TRUE(thickness_surf_fit());
    ASSERT_FALSE(answers.progress.empty());
    EXPECT_TRUE(
        answers.progress.back().StartsWith("Calculating thickness values close to point 24 of 24.\n"
                                           "Estimated real cortical density is "))
        << answers.progress.back();

    // A new surface in the slot: the old results are not its.
    res->RES_SURFACE[0]->write(box(2.0));
    EXPECT_EQ(thickness_session().results(0), nullptr);
}

TEST_F(ThicknessSession, ResultsAndSurfacesGoToFilesAndComeBack)
{
    ASSERT_TRUE(choose_thickness_surface(0));
    EXPECT_FALSE(thickness_surf_save());  // nothing mapped yet
    ASSERT_TRUE(thickness_surf_fit());
    const std::vector<double> thick = face_values(thickness_results_t::thick);
    ASSERT_EQ(thick.size(), 4u);
    ASSERT_TRUE(thickness_surf_save());
    const wxString base = thickness_file_base(0);
    EXPECT_TRUE(wxFileName::FileExists(base + "_thick_dat"));
    ASSERT_TRUE(res->RES_DAT_THICKNESS_FILES->value());
    EXPECT_EQ(res->RES_DAT_THICKNESS_FILES->value()->size(), 14u);

    // Asked before replacing; refused, the files are left alone.
    answers.answers = {answer_t::no};
    EXPECT_FALSE(thickness_surf_save());
    ASSERT_EQ(answers.asked.size(), 1u);
    EXPECT_TRUE(answers.asked[0].StartsWith("One of the files\n\n"));

    // Back onto the same surface rebuilt: the same values.
    res->RES_SURFACE[0]->write(box(2.0));
    ASSERT_TRUE(thickness_surf_load());
    EXPECT_EQ(face_values(thickness_results_t::thick), thick);
    // Onto a surface of another size: refused, nothing held changes.
    auto other = box(2.0);
    res->RES_SURFACE[1]->write(other);
    ASSERT_TRUE(choose_thickness_surface(1));
    log_capture log;
    EXPECT_FALSE(thickness_session().load_thickness(1, base + "_missing"));
    EXPECT_TRUE(log.contains("Could not find binary thickness or error files"));

    ASSERT_TRUE(choose_thickness_surface(0));
    ASSERT_TRUE(thickness_create());
    for (const char* suffix : {"_outer", "_inner", "_cortex", "_smoothed_thickness", "_surface", "_joint", "_gauss",
                               "_gauss_err", "_endo", "_trab_density", "_trab_density_err", "_soft_density"})
        EXPECT_TRUE(wxFileName::FileExists(base + suffix + ".ply")) << suffix;
    // The blur coloured on the surface: the points with one in its colour, the rest without a result.
    ply_surface_t gauss;
    ASSERT_TRUE(read_ply_file(base + "_gauss.ply", 0, gauss));
    ASSERT_TRUE(gauss.mesh.coloured());
    const std::vector<double>& blur = thickness_session().results(0)->values[thickness_results_t::blur];
    ASSERT_EQ(gauss.mesh.colours.size(), blur.size());
    for (std::size_t i = 0; i < blur.size(); ++i)
        EXPECT_EQ(gauss.mesh.colours[i] == no_result_colour, blur[i] == thickness_unknown) << i;
    EXPECT_LT(std::count(blur.begin(), blur.end(), thickness_unknown), std::ptrdiff_t(blur.size()));
    // Asked once before any is replaced; refused, nothing is written.
    answers.answers = {answer_t::no};
    answers.asked.clear();
    EXPECT_FALSE(thickness_create());
    EXPECT_EQ(answers.asked.size(), 1u);
}

TEST_F(ThicknessSession, TheDensityEstimateSaysWhenItCannotTell)
{
    ASSERT_TRUE(choose_thickness_surface(0));
    density_estimate_t e;
    bool show = true;
    // A 2.5 mm cortex under a 2 mm blur is nowhere thick enough.
    EXPECT_FALSE(thickness_est_density(&e, &show));
    EXPECT_FALSE(e.ok);
    EXPECT_FALSE(show);
    ASSERT_EQ(answers.asked.size(), 1u);
    EXPECT_EQ(answers.asked[0], "Cortical density estimation failed.\n\nShow raw data?");
    EXPECT_EQ(res->RES_THICKNESS_B->value(), 1600.0);  // untouched

    EXPECT_FALSE(thickness_compare());  // no alternate surface
    res->RES_SURFACE[1]->write(box(2.25));
    ASSERT_TRUE(thickness_alternate(1));
    ASSERT_TRUE(thickness_compare());
    ASSERT_EQ(face_values(thickness_results_t::thick).size(), 4u);
    for (double t : face_values(thickness_results_t::thick))
        EXPECT_NEAR(t, 2.5, 1e-6);
}

// The page's Map and Save and the command-line tool write the same files for the same volume,
// surface and settings.
TEST_F(ThicknessSession, ThePageAndTheToolWriteTheSameFiles)
{
    ASSERT_TRUE(choose_thickness_surface(0));
    ASSERT_TRUE(thickness_surf_fit());
    ASSERT_TRUE(thickness_surf_save());
    const surface_mesh_t mesh = thickness::mesh_of(*res->RES_SURFACE[0]->value());
    ASSERT_TRUE(save_surface(path("bone.ply"), mesh, surface_save_t{}));
    const wxString command = wxString::Format("%s thickness %s %s %s --gauss 2 --cortex 1600 > %s 2>&1", KS_TOOL,
                                              path("ct.nrrd"), path("bone.ply"), path("tool"), path("tool.txt"));
    ASSERT_EQ(std::system(command.utf8_str().data()), 0) << read_text(path("tool.txt"));
    const std::vector<wxString> ours = thickness_file_names(thickness_file_base(0)),
                                tools = thickness_file_names(path("tool") + wxFILE_SEP_PATH + "bone");
    for (std::size_t i = 0; i < ours.size(); ++i) {
        const std::string a = read_text(ours[i]), b = read_text(tools[i]);
        EXPECT_EQ(a.size(), 8 * mesh.points.size()) << ours[i];
        EXPECT_TRUE(a == b) << ours[i] << " differs from " << tools[i];
    }
}

// A script maps the thickness as the page does: its THICKNESS_ functions on the open recording, the
// results saved and a row written; a surface that does not exist stops the script at its line.
TEST_F(ThicknessSession, AScriptMapsAndSavesAsThePageDoes)
{
    struct collected_t : script_sink_t {
        std::vector<wxString> lines;
        void write(const wxString& line, script_message_kind_t) override { lines.push_back(line); }
    } sink;
    script_function_table_t table;
    register_thickness_functions(table);
    Script script(sink, table);
    const wxString text = "script_name thick\nresults_dir \"" + dir +
                          "\"\nwrite_header RES_THICKNESS_B\n"
                          "func THICKNESS_SURFACE 0\nfunc THICKNESS_SURF_FIT\nfunc THICKNESS_SURF_SAVE\nwrite mapped\n";
    ASSERT_TRUE(script.Run(text, path("thick.txt.script")));
    EXPECT_TRUE(wxFileName::FileExists(thickness_file_base(0) + "_thick_dat"));
    const std::string table_text = read_text(path("thick.txt"));
    EXPECT_NE(table_text.find(",ct_thick_mapped,"), std::string::npos) << table_text;
    EXPECT_NE(table_text.find(",1600.000000\n"), std::string::npos) << table_text;
    const std::vector<double> thick = face_values(thickness_results_t::thick);
    ASSERT_EQ(thick.size(), 4u);
    for (double t : thick)
        EXPECT_NEAR(t, 2.5, 0.05);

    sink.lines.clear();
    EXPECT_FALSE(
        script.Run("script_name again\nresults_dir \"" + dir + "\"\nfunc THICKNESS_SURFACE 7\n", path("again.script")));
    bool named = false;
    for (const wxString& line : sink.lines)
        named = named || (line.Contains("In line 3 of Script.") && line.Contains("ERROR"));
    EXPECT_TRUE(named);
}

}  // namespace
