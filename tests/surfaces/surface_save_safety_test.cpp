// A surface save that fails, or is killed, leaves the file that was there
// before whole, removes its temporary file and says why it failed.
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "resources/safe_file.h"
#include "support/log_capture.h"
#include "surface_support.h"
#include "surfaces/surface_files.h"

namespace {

constexpr int killed_status = 77;
int steps_left = 0;

void die_at_chosen_step()
{
    if (--steps_left == 0)
        ::_exit(killed_status);
}

// Runs `save` in a child process and gives its exit status.
template <typename F>
int in_child(F save)
{
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(save());
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const surface_format_t formats[] = {surface_format_t::ply, surface_format_t::vrml1, surface_format_t::vrml2};

}  // namespace

using SurfaceSaveSafety = SurfaceFileTest;

// A folder that cannot be written to, or does not exist: nothing is
// written, the old file stays, and the message names the file.
TEST_F(SurfaceSaveSafety, UnwritableFolder)
{
    log_capture log;
    surface_save_t how;
    EXPECT_FALSE(save_surface(path("missing/s.ply"), tetrahedron(), how));
    EXPECT_TRUE(log.contains("Could not write surface ply file", wxLOG_Error));
    EXPECT_TRUE(log.contains("missing/s.ply: No such file or directory", wxLOG_Error));
    how.format = surface_format_t::vrml2;
    EXPECT_FALSE(save_surface(path("missing/s.wrl"), tetrahedron(), how));
    EXPECT_TRUE(log.contains("Could not write surface VRML file", wxLOG_Error));

    if (::geteuid() == 0)
        return;  // permissions do not stop root; the file size limit below covers a failing write
    write_file(path("old.ply"), "the old surface");
    ASSERT_EQ(::chmod(dir.fn_str(), 0555), 0);
    EXPECT_FALSE(save_surface(path("old.ply"), tetrahedron(), {}));
    ::chmod(dir.fn_str(), 0755);
    EXPECT_EQ(read_file(path("old.ply")), "the old surface");
    EXPECT_EQ(file_count(), 1u);
}

// A write that fails part way (here: the file size limit, as a full disk
// would) keeps the old file and logs the step that failed.
TEST_F(SurfaceSaveSafety, FailedWriteKeepsTheOldFile)
{
    const surface_mesh_t sphere = subdivided_sphere(5, 3.0, {});  // well over one 64 KiB piece in every format
    for (surface_format_t format : formats) {
        const wxString target = path("s.out");
        write_file(target, "the old surface");
        const int status = in_child([&] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{2000, 2000};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            log_capture log;
            surface_save_t how;
            how.format = format;
            if (save_surface(target, sphere, how))
                return 1;
            const bool named = format == surface_format_t::ply
                                   ? log.contains("Could not write vertex to ply file", wxLOG_Error) &&
                                         log.contains("Could not write surface ply file", wxLOG_Error)
                                   : log.contains("Could not write surface VRML file", wxLOG_Error);
            return named && log.contains("File too large", wxLOG_Error) ? 0 : 2;
        });
        EXPECT_EQ(status, 0) << static_cast<int>(format) << ": 1 reported success, 2 logged no reason";
        EXPECT_EQ(read_file(target), "the old surface");
        EXPECT_EQ(file_count(), 1u) << "the temporary file is removed";
    }
}

// Killed at any write, flush or rename, a save leaves either the old file
// or the complete new one.
TEST_F(SurfaceSaveSafety, KilledSaveLeavesOldOrNew)
{
    const surface_mesh_t sphere = subdivided_sphere(4, 1.0, {});
    for (surface_format_t format : formats) {
        surface_save_t how;
        how.format = format;
        const wxString target = path("k.out"), reference = path("reference.out");
        ASSERT_TRUE(save_surface(reference, sphere, how));
        const std::string complete = read_file(reference);
        wxRemoveFile(reference);
        int step = 1;
        for (;; ++step) {
            write_file(target, "the old surface");
            const int status = in_child([&] {
                steps_left = step;
                set_file_step_hook(die_at_chosen_step);
                return save_surface(target, sphere, how) ? 0 : 1;
            });
            const std::string now = read_file(target);
            EXPECT_TRUE(now == "the old surface" || now == complete) << "step " << step;
            if (status == 0) {
                EXPECT_EQ(now, complete);
                break;
            }
            ASSERT_EQ(status, killed_status) << "step " << step;
            ASSERT_LT(step, 100);
            // What a killed save leaves is only its temporary file, never a changed target.
            wxArrayString found;
            wxDir::GetAllFiles(dir, &found, "*" + wxString(safe_file_temp_infix) + "*", wxDIR_FILES | wxDIR_HIDDEN);
            for (const wxString& f : found)
                wxRemoveFile(f);
        }
        EXPECT_GT(step, 3) << "the save was stopped at more than one point";
    }
}
