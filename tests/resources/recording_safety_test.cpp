// A recording on disk survives the user's mistakes and the program's death:
// Save as never writes a recording under an image data file's name, an image
// data file that does not match is reported, a save killed at any step leaves
// the old or the new recording (never a mix), and what an unfinished save left
// is cleared the next time the recording is opened or saved.
#include <algorithm>
#include <sys/wait.h>
#include <unistd.h>

#include <wx/dir.h>

#include "recording_fixture.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "resources/safe_file.h"
#include "resources/save_journal.h"

namespace {

constexpr int killed_status = 77;
int steps_left = 0;

// Ends the process at the chosen file step, as a kill would: nothing is cleaned up.
void die_at_chosen_step()
{
    if (--steps_left == 0)
        ::_exit(killed_status);
}

class RecordingSafety : public RecordingTest {
protected:
    std::vector<std::string> files_in_dir() const
    {
        wxArrayString found;
        wxDir::GetAllFiles(dir, &found, wxEmptyString, wxDIR_FILES | wxDIR_HIDDEN);
        std::vector<std::string> names;
        for (const wxString& f : found)
            names.push_back(wxFileName(f).GetFullName().ToStdString());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Runs a save of pair.ks in a child process that dies at file step `step`;
    // the child's exit status (killed_status when it died there).
    int save_killed_at(int step)
    {
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            steps_left = step;
            set_file_step_hook(die_at_chosen_step);
            const bool saved = recording_io->try_write_kestrane_file(path("pair.ks"));
            ::_exit(saved ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(RecordingSafety, SaveAsRefusesImageDataFileNames)
{
    make_bmode_recording(2, 8, 8);
    ASSERT_TRUE(recording_io->save_as(path("A.ks")));
    const std::string frames = read_file("A.kvi"), text = read_file("A.ks");
    ASSERT_TRUE(recording_io->save_as(path("B.dat")));  // a pair without .ks: B.dat and B.dati
    log_capture log;
    // Each of these would put a text file where pixels are, or pixels over a text file.
    for (const char* name : {"A.kvi", "A.KVI", "new.kvi", "B.dati"}) {
        EXPECT_FALSE(recording_io->save_as(path(name))) << name;
        EXPECT_TRUE(log.contains("Kestrane will not save a recording as", wxLOG_Error)) << name;
    }
    EXPECT_TRUE(log.contains("it is the image data file of the recording", wxLOG_Error));
    EXPECT_TRUE(same_bytes(read_file("A.kvi"), frames));
    EXPECT_TRUE(same_bytes(read_file("A.ks"), text));
    EXPECT_FALSE(wxFileExists(path("A.kvii")));
    EXPECT_FALSE(wxFileExists(path("new.kvi")));

    // The open recording's own image data file, whatever it is called.
    ASSERT_TRUE(recording_io->save_as(path("Ci")));  // pixels in Cii
    EXPECT_FALSE(recording_io->save_as(path("Cii")));
    // A name whose image data file would be the open recording itself.
    EXPECT_FALSE(recording_io->save_as(path("C")));
    EXPECT_TRUE(log.contains("would be written over the open recording", wxLOG_Error));
    EXPECT_EQ(res->RES_ASCII_FILENAME->value().GetFullName(), "Ci") << "a refused Save as keeps the name";
    recording_io->new_recording();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("A.ks")));
    EXPECT_EQ(bufp->frames(), 2);
}

// A .kvi longer than its frames loads with a warning naming both sizes; shorter is refused.
TEST_F(RecordingSafety, MismatchedImageDataFileIsReported)
{
    make_bmode_recording(3, 8, 8);
    ASSERT_TRUE(recording_io->save_as(path("long.ks")));
    write_file("long.kvi", read_file("long.kvi") + std::string(100, 'x'));
    recording_io->new_recording();
    log_capture log;
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("long.ks")));
    EXPECT_TRUE(log.contains("holds 292 bytes, but the 3 frames of the recording need 192", wxLOG_Warning));
    EXPECT_EQ(recording_io->image_data_surplus(), 100u);

    write_file("long.kvi", read_file("long.kvi").substr(0, 191));
    EXPECT_FALSE(recording_io->try_read_kestrane_file(path("long.ks")));
    EXPECT_TRUE(log.contains("Failed to read binary data from binary file.", wxLOG_Error));
    EXPECT_EQ(recording_io->image_data_surplus(), 0u);
}

// Kills a save (four frames where five were, and a changed setting) at every
// write, flush, rename and removal it makes; after each, opening the recording
// gives exactly the old or exactly the new version, with nothing left over.
TEST_F(RecordingSafety, SaveKilledAtAnyStepLeavesOldOrNew)
{
    make_bmode_recording(5, 8, 8);
    res->RES_CAL_PROBE->write("old probe");
    ASSERT_TRUE(recording_io->save_as(path("pair.ks")));
    const std::string old_text = read_file("pair.ks"), old_frames = read_file("pair.kvi");
    const std::string new_frames = old_frames.substr(0, 4 * 64);
    const auto make_change = [&] {
        write_file("pair.ks", old_text);
        write_file("pair.kvi", old_frames);
        recording_io->new_recording();
        ASSERT_TRUE(recording_io->try_read_kestrane_file(path("pair.ks")));
        ASSERT_TRUE(bufp->thin({1, 1, 1, 1, 0}));
        recording_io->frames_changed();
        res->RES_CAL_PROBE->write("new probe");
    };

    int old_seen = 0, new_seen = 0, finished_from_journal = 0, step = 1;
    for (;; ++step) {
        make_change();
        const int status = save_killed_at(step);
        if (status == 0)
            break;  // the whole save ran without reaching this step
        ASSERT_EQ(status, killed_status) << "step " << step;
        finished_from_journal += wxFileExists(save_journal_path(path("pair.ks")));
        log_capture log;
        ASSERT_TRUE(recording_io->try_read_kestrane_file(path("pair.ks"))) << "step " << step;
        const bool is_new = bufp->frames() == 4;
        EXPECT_EQ(res->RES_CAL_PROBE->value(), is_new ? "new probe" : "old probe") << "step " << step;
        EXPECT_TRUE(same_bytes(read_file("pair.kvi"), is_new ? new_frames : old_frames)) << "step " << step;
        EXPECT_EQ(files_in_dir(), (std::vector<std::string>{"pair.ks", "pair.kvi"})) << "step " << step;
        (is_new ? new_seen : old_seen) += 1;
    }
    EXPECT_GT(step, 8) << "frames, flushes, journal and renames are each a step";
    EXPECT_GT(old_seen, 0);
    EXPECT_GT(new_seen, 0);
    EXPECT_GT(finished_from_journal, 0);

    // Leftovers go at the next save too, and the save still writes the new version.
    make_change();
    ASSERT_EQ(save_killed_at(2), killed_status);
    ASSERT_TRUE(recording_io->try_write_kestrane_file(path("pair.ks")));
    EXPECT_EQ(files_in_dir(), (std::vector<std::string>{"pair.ks", "pair.kvi"}));
    EXPECT_TRUE(same_bytes(read_file("pair.kvi"), new_frames));
}

// A journal is a file from outside like any other: one that names files it
// does not own is ignored and removed, never followed.
TEST_F(RecordingSafety, ForeignSaveJournalIsNotFollowed)
{
    make_bmode_recording(2, 8, 8);
    ASSERT_TRUE(recording_io->save_as(path("j.ks")));
    write_file("victim", "precious");
    write_file("j.ks.saving", "kestrane save journal 1\nvictim\tj.ks\n../j.kvi.tmp-abcdef\tj.kvi\n");
    recording_io->new_recording();
    log_capture log;
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("j.ks")));
    EXPECT_EQ(bufp->frames(), 2);
    EXPECT_EQ(read_file("victim"), "precious");
    EXPECT_FALSE(wxFileExists(path("j.ks.saving")));
    EXPECT_TRUE(log.contains("is not a save journal", wxLOG_Warning));
}

}  // namespace
