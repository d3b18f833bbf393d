// Saving never loses a recording: a failed save leaves the old files whole and
// the data unsaved; unchanged frames are not rewritten; Save as always gives
// the recording its own image data file.
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include <wx/dir.h>

#include "recording_fixture.h"
#include "resources/resource_table.h"

namespace {

ino_t inode_of(const wxString& p)
{
    struct stat st {};
    return ::stat(p.fn_str(), &st) == 0 ? st.st_ino : 0;
}

// Makes every file write past `bytes` fail, as a full disk does, for the life of the object.
class file_size_limit {
public:
    explicit file_size_limit(rlim_t bytes)
    {
        previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~file_size_limit()
    {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previous_handler_);
    }

private:
    rlimit previous_{};
    void (*previous_handler_)(int);
};

class SavingRecordings : public RecordingTest {
protected:
    wxArrayString files_in_dir() const
    {
        wxArrayString files;
        wxDir::GetAllFiles(dir, &files, wxEmptyString, wxDIR_FILES | wxDIR_HIDDEN);
        files.Sort();
        return files;
    }
    bool unsaved() const
    {
        wxString text;
        return base_res_t::file_needs_save(RES_MASK_RECORDING, text);
    }
};

TEST_F(SavingRecordings, FailedWriteKeepsOldFilesAndUnsavedState)
{
    make_bmode_recording(10, 64, 64);
    ASSERT_TRUE(recording_io->save_as(path("keep.ks")));
    const std::string old_text = read_file("keep.ks"), old_frames = read_file("keep.kvi");
    const wxArrayString before = files_in_dir();

    make_bmode_recording(10, 64, 64);  // ten more frames
    res->RES_CAL_PROBE->write("changed");
    ASSERT_TRUE(unsaved());
    log_capture log;
    {
        file_size_limit full_disk(20000);
        EXPECT_FALSE(recording_io->try_write_kestrane_file(path("keep.ks")));
    }
    EXPECT_TRUE(log.contains("Failed to write binary data to binary file.", wxLOG_Error));
    EXPECT_TRUE(same_bytes(read_file("keep.ks"), old_text));
    EXPECT_TRUE(same_bytes(read_file("keep.kvi"), old_frames));
    EXPECT_EQ(files_in_dir(), before) << "no temporary file is left behind";
    EXPECT_TRUE(unsaved()) << "needs-save flags are cleared only by a whole save";
    EXPECT_TRUE(res->RES_BIN_IM_FILENAME->needs_save());

    // The text file alone failing (a long comment makes it the larger file) also keeps both old files.
    res->RES_COMMENT->write(std::make_shared<std::vector<wxString>>(1, wxString(120000, 'c')));
    {
        file_size_limit full_disk(100000);
        EXPECT_FALSE(recording_io->try_write_kestrane_file(path("keep.ks")));
    }
    EXPECT_TRUE(same_bytes(read_file("keep.ks"), old_text));
    EXPECT_TRUE(same_bytes(read_file("keep.kvi"), old_frames));
    // So does a target that cannot be opened.
    EXPECT_FALSE(recording_io->try_write_kestrane_file(path("no-such-folder/x.ks")));
    EXPECT_TRUE(log.contains("Error opening file for writing.", wxLOG_Error));
    EXPECT_EQ(bufp->frames(), 20);
    EXPECT_TRUE(unsaved());

    ASSERT_TRUE(recording_io->try_write_kestrane_file(path("keep.ks")));
    EXPECT_FALSE(unsaved());
    EXPECT_EQ(read_file("keep.kvi").size(), 20u * 64u * 64u);
}

// Saving a second time without changes rewrites only the text file.
TEST_F(SavingRecordings, UnchangedFramesAreNotRewritten)
{
    make_bmode_recording(3, 8, 8);
    ASSERT_TRUE(recording_io->save_as(path("twice.ks")));
    const ino_t frames_file = inode_of(path("twice.kvi"));
    const ino_t text_file = inode_of(path("twice.ks"));
    ASSERT_TRUE(recording_io->try_write_kestrane_file(path("twice.ks")));
    EXPECT_EQ(inode_of(path("twice.kvi")), frames_file);
    EXPECT_NE(inode_of(path("twice.ks")), text_file);

    // Loading and saving under the same name does not touch the frames either.
    recording_io->new_recording();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("twice.ks")));
    ASSERT_TRUE(recording_io->try_write_kestrane_file(path("twice.ks")));
    EXPECT_EQ(inode_of(path("twice.kvi")), frames_file);

    make_bmode_recording(1, 8, 8);
    ASSERT_TRUE(recording_io->try_write_kestrane_file(path("twice.ks")));
    EXPECT_NE(inode_of(path("twice.kvi")), frames_file);
}

// Save as never writes into another recording's image data file.
TEST_F(SavingRecordings, SaveAsGivesTheRecordingItsOwnImageFile)
{
    make_bmode_recording(2, 8, 8);
    ASSERT_TRUE(recording_io->save_as(path("first.ks")));
    const std::string first_frames = read_file("first.kvi");
    const ino_t first_inode = inode_of(path("first.kvi"));
    ASSERT_TRUE(recording_io->save_as(path("second.ks")));
    EXPECT_EQ(res->RES_BIN_IM_FILENAME->value(), "second.kvi");
    EXPECT_TRUE(same_bytes(read_file("second.kvi"), first_frames));
    EXPECT_EQ(inode_of(path("first.kvi")), first_inode);
    EXPECT_NE(read_file("second.ks").find("RES_BIN_IM_FILENAME second.kvi"), std::string::npos);

    ASSERT_TRUE(wxFileName::Mkdir(path("other")));
    ASSERT_TRUE(recording_io->save_as(path("other/third.ks")));
    EXPECT_TRUE(same_bytes(read_file("other/third.kvi"), first_frames));

    ASSERT_TRUE(recording_io->save_as(path("fourth.dat")));
    EXPECT_TRUE(same_bytes(read_file("fourth.dati"), first_frames));
    EXPECT_EQ(recording_io_t::image_file_name_for("/x/y/Scan.KS"), "Scan.kvi");
}

// RF data saved as raw data become plain 8-bit frames of the display image;
// converting in place would destroy the samples: unattended, the answer is no.
TEST_F(SavingRecordings, RawConversionOfRfData)
{
    set_up_rf(20, 4);
    const cip_t im = cip_t::make_16bit(4, 20);
    for (int k = 0; k < 80; ++k)
        im.signed_samples()[k] = static_cast<std::int16_t>(k * 100);
    recording_io->rf_display(im);
    bufp->append(im, {}, 1);
    recording_io->frames_changed();
    ASSERT_TRUE(recording_io->save_as(path("keep_rf.ks")));
    const std::string samples = read_file("keep_rf.kvi");
    EXPECT_FALSE(recording_io->save_as(path("keep_rf.ks"), true));
    EXPECT_TRUE(res->RES_BUF_RF->value());
    EXPECT_TRUE(same_bytes(read_file("keep_rf.kvi"), samples));

    ASSERT_TRUE(recording_io->save_as(path("raw.ks"), true));
    EXPECT_FALSE(res->RES_BUF_RF->value());
    EXPECT_EQ(res->RES_BUF_WIDTH->value(), 4);
    EXPECT_EQ(res->RES_BUF_HEIGHT->value(), 20);
    EXPECT_EQ(read_file("raw.kvi"), std::string(reinterpret_cast<const char*>(im.pixels()), 80));
    recording_io->new_recording();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("raw.ks")));
    EXPECT_FALSE(bufp->imagecp(0).has_samples());
}

// New brings back the user's settings and chooses the next number whose .ks and .kvi are free.
TEST_F(SavingRecordings, NewRestoresUserSettingsAndNames)
{
    res->RES_XSCALE->write(0.02);
    write_file("kestrane_data_1.ks", "");
    write_file("kestrane_data_2.kvi", "");
    write_file("loaded.ks", header(0) + "RES_XSCALE 0.05\n");
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("loaded.ks")));
    EXPECT_EQ(res->RES_XSCALE->value(), 0.05);
    recording_io->new_recording();
    EXPECT_EQ(res->RES_XSCALE->value(), 0.02);
    EXPECT_EQ(res->RES_ASCII_FILENAME->value().GetFullName(), "kestrane_data_3.ks");
    EXPECT_EQ(res->RES_BIN_IM_FILENAME->value(), "kestrane_data_3.kvi");
    EXPECT_FALSE(res->RES_DISABLE_RECORDING->value());
    EXPECT_FALSE(unsaved());
}

}  // namespace
