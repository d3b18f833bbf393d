// The main window's decisions that need no window: the command line, the
// configuration lock, the rate label and the play-back clock.
#include <gtest/gtest.h>

#include "app/app_logic.h"

namespace {

command_line_t parse(std::initializer_list<const char*> words)
{
    std::vector<wxString> args{"kestrane"};
    for (const char* w : words)
        args.push_back(w);
    return parse_command_line(args);
}

TEST(CommandLine, SettingsDirectory)
{
    EXPECT_EQ(parse({"dir=/some/dir"}).settings_dir, "/some/dir");
    EXPECT_EQ(parse({"dir=/some/dir", "scan.ks"}).settings_dir, "/some/dir");
    EXPECT_TRUE(parse({"scan.ks"}).settings_dir.empty()) << "any other first argument keeps the home directory";
    EXPECT_TRUE(parse({"dir=/some/dir"}).file.empty()) << "the directory argument is not a file to open";
}

// Started with scan.kvi the program opens scan.ks; SCAN.KVI opens SCAN.KS; scan.Kvi nothing.
TEST(CommandLine, RecordingNames)
{
    EXPECT_EQ(parse({"scan.ks"}).file, "scan.ks");
    EXPECT_EQ(parse({"scan.kvi"}).file, "scan.ks");
    EXPECT_EQ(parse({"SCAN.KVI"}).file, "SCAN.KS");
    EXPECT_TRUE(parse({"scan.Kvi"}).file.empty());
    EXPECT_TRUE(parse({"scan.Ks"}).file.empty());
    const command_line_t t = parse({"probe.kst"});
    EXPECT_EQ(t.file, "probe.kst");
    EXPECT_TRUE(t.is_template);
}

// run.txt alone runs and exits; -s runs and stays; -sc runs and exits.
TEST(CommandLine, Scripts)
{
    const command_line_t lone = parse({"run.txt"});
    EXPECT_EQ(lone.script, "run.txt");
    EXPECT_TRUE(lone.exit_after_script);
    const command_line_t stay = parse({"-s", "run.txt"});
    EXPECT_EQ(stay.script, "run.txt");
    EXPECT_FALSE(stay.exit_after_script);
    EXPECT_TRUE(parse({"-sc", "run.txt"}).exit_after_script);
    EXPECT_TRUE(parse({"dir=/x", "run.txt"}).script.empty()) << "only a lone .txt is a script without -s";
    EXPECT_TRUE(parse({"notes.TXT"}).exit_after_script);
}

TEST(ConfigurationLock, Passwords)
{
    EXPECT_TRUE(password_accepted("marlwood", "marlwood"));
    EXPECT_TRUE(password_accepted("MARLWOOD", "marlwood")) << "answers are compared without letter case";
    EXPECT_TRUE(password_accepted("9fern&k", "anything")) << "the master code always works";
    EXPECT_TRUE(password_accepted("9FERN&K", "anything"));
    EXPECT_FALSE(password_accepted("marlwoo", "marlwood"));
    EXPECT_FALSE(password_accepted("", "marlwood"));
}

TEST(InfoLabel, RecordedOrRate)
{
    info_label_t label;
    EXPECT_EQ(label.update(0, 120), "120 frames recorded.");
    EXPECT_EQ(label.update(24.6, 130), "130 frames at 25 per second.");
    EXPECT_EQ(label.update(-1, 140), "140 frames at 25 per second.") << "a negative rate keeps the last one";
    EXPECT_EQ(label.update(0, -1), "140 frames recorded.") << "a negative count keeps the last one";
}

TEST(FrameRate, IntervalsThatCannotGiveARate)
{
    EXPECT_DOUBLE_EQ(*frame_rate(25, 0, 10000000), 25.0);
    EXPECT_FALSE(frame_rate(1, 500, 500)) << "a single frame has no rate";
    EXPECT_FALSE(frame_rate(3, 900, 500)) << "time running backwards gives no rate";
}

// Play-back follows the recorded times, but never waits more than 2 s across a gap.
TEST(PlaybackClock, FollowsRecordedTimeAndShortensGaps)
{
    playback_clock_t clock;
    const std::uint64_t start = 5000000000ULL;
    clock.start(start, 1000);                                  // frame 0 recorded at 1000
    EXPECT_FALSE(clock.next_due(start + 300000, 1000 + 400000));  // 30 ms later: frame 1 (40 ms) not due
    EXPECT_TRUE(clock.next_due(start + 400001, 1000 + 400000));
    // A 60 s gap in the recording: due 2 s after the program first waits for it.
    const std::uint64_t gap_frame = 1000 + 400000 + 600000000;
    const std::uint64_t shown = start + 400002;
    EXPECT_FALSE(clock.next_due(shown, gap_frame));
    EXPECT_FALSE(clock.next_due(shown + 19000000, gap_frame));
    EXPECT_TRUE(clock.next_due(shown + 20000001, gap_frame));
}

}  // namespace
