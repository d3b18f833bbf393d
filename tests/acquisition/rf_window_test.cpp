// The live RF window: its size is that of the RF frames held, so while they
// are held it cannot change (the recording would describe its frames
// wrongly and read back shifted); the first vector and sample may move.
#include <climits>
#include <cstring>

#include <gtest/gtest.h>

#include "acquisition/rf_window.h"
#include "common/dynabuf.h"
#include "resources/recording_fixture.h"

namespace {

class RfWindow : public RecordingTest {
protected:
    // Two RF frames of 3 vectors by 200 samples, each sample distinct.
    void hold_rf_frames()
    {
        set_up_rf(200, 3);
        for (long k = 0; k < 2; ++k) {
            const cip_t im = cip_t::make_16bit(3, 200);
            for (std::size_t n = 0; n < im.pixel_count(); ++n)
                im.signed_samples()[n] = static_cast<std::int16_t>(static_cast<long>(n) * 37 - 9000 + k * 5);
            bufp->append(im, {}, static_cast<std::uint64_t>(k + 1));
        }
        recording_io->frames_changed();
    }
    bool write(const rf_utility::window_t& w)
    {
        const bool ok = write_rf_window(w);
        base_res_t::make_pending_writes_happen();
        return ok;
    }
    static void expect_window(const rf_utility::window_t& w)
    {
        const rf_utility::window_t now = current_rf_window();
        EXPECT_EQ(now.vector_offset, w.vector_offset);
        EXPECT_EQ(now.sample_offset, w.sample_offset);
        EXPECT_EQ(now.vectors, w.vectors);
        EXPECT_EQ(now.samples, w.samples);
    }
};

// Without RF frames the whole window may change, B-mode frames held included: they do not depend on it.
TEST_F(RfWindow, FreeWithoutRfFramesHeld)
{
    EXPECT_TRUE(rf_size_lock_reason().empty());
    ASSERT_TRUE(write({2, 3, 10, 20}));
    expect_window({2, 3, 10, 20});
    make_bmode_recording(2, 8, 8);
    EXPECT_TRUE(rf_size_lock_reason().empty());
    ASSERT_TRUE(write({0, 0, 64, 512}));
    expect_window({0, 0, 64, 512});
}

// With RF frames held a new size is refused with the reason, nothing of the window is written, and the
// recording still saves and reads back frame for frame; the offsets alone may move; New lifts the lock.
TEST_F(RfWindow, SizeLockedWhileRfFramesHeld)
{
    hold_rf_frames();
    const wxString reason = rf_size_lock_reason();
    EXPECT_TRUE(reason.Contains("2 RF frames held are 3 vectors of 200 samples")) << reason;
    log_capture log;
    for (const rf_utility::window_t w : {rf_utility::window_t{5, 6, 4, 200}, {5, 6, 3, 199}, {0, 0, 1, 1}}) {
        EXPECT_FALSE(write(w));
        expect_window({0, 0, 3, 200});
    }
    EXPECT_EQ(log.count(wxLOG_Warning), 3u);
    EXPECT_TRUE(log.contains("RES_RF_VECTORS and RES_RF_SAMPLES are not changed to 4 by 200", wxLOG_Warning));

    ASSERT_TRUE(write({1, 7, 3, 200})) << "the same size with other offsets";
    expect_window({1, 7, 3, 200});

    const std::vector<std::int16_t> before(bufp->imagecp(1).signed_samples(), bufp->imagecp(1).signed_samples() + 600);
    ASSERT_TRUE(recording_io->save_as(path("held.ks")));
    recording_io->new_recording();
    EXPECT_TRUE(rf_size_lock_reason().empty()) << "no frames, no lock";
    ASSERT_TRUE(write({0, 0, 4, 100}));
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("held.ks")));
    ASSERT_EQ(bufp->frames(), 2);
    ASSERT_EQ(bufp->imagecp(1).width(), 3);
    ASSERT_EQ(bufp->imagecp(1).height(), 200);
    EXPECT_EQ(0, std::memcmp(before.data(), bufp->imagecp(1).signed_samples(), before.size() * sizeof(std::int16_t)));
    expect_window({1, 7, 3, 200});
}

// Negative offsets, empty sizes and sizes beyond a 32-bit sample count are refused whether or not frames are held.
TEST_F(RfWindow, MalformedWindowsAreRefused)
{
    log_capture log;
    const rf_utility::window_t bad[] = {{-1, 0, 3, 3},       {0, -5, 3, 3},         {0, 0, 0, 3},
                                        {0, 0, 3, -1},       {0, 0, LONG_MAX, 2},   {0, 0, 65536, 65536},
                                        {LONG_MIN, 0, 3, 3}, {0, 0, LONG_MIN, LONG_MIN}};
    for (const rf_utility::window_t& w : bad) {
        EXPECT_FALSE(write(w)) << w.vector_offset << " " << w.sample_offset << " " << w.vectors << " " << w.samples;
        expect_window({0, 0, 127, 1000});
    }
    EXPECT_EQ(log.count(wxLOG_Warning), std::size(bad));
}

}  // namespace
