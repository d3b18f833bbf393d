// .zsq files: what a sequence runs and counts, and every load error with its line.
#include <gtest/gtest.h>

#include "devices/cmd_sequence.h"
#include "support/log_capture.h"

namespace {

// The walk of a sequence as text: each movement's word, "|" for a pause,
// "." at the end; stops after limit items.
std::string walk(cmdSequence& s, int limit = 1000)
{
    std::string out;
    for (int i = 0; i < limit; ++i) {
        const cmdItem c = s.getNextCmd();
        if (c.kind == cmd_kind_t::end_of_sequence)
            return out + ".";
        out += c.kind == cmd_kind_t::end_of_step ? std::string_view("|") : c.command;
        out += " ";
    }
    return out + "...";
}

// Every command word is known as itself and no near miss passes for one (the
// words are told apart by length and a letter or two before comparing).
TEST(CmdSequence, EveryCommandWordAndNoNearMiss)
{
    cmdSequence s;
    ASSERT_TRUE(
        s.load("BEGIN_MAIN\nhome\nhome_x\nhome_y\nhome_z\nstop\nmove 1 2 3\nmove_x 1\nmove_y 1\nmove_z 1\n"
               "step 1 2 3\nstep_x 1\nstep_y 1\nstep_z 1\nrepeat 1\npause\nrepeat_end\nEND_MAIN\n"));
    EXPECT_EQ(walk(s), "home home_x home_y home_z stop move move_x move_y move_z step step_x step_y step_z | .");
    log_capture quiet;
    for (const char* near : {"hom", "homes", "home_w", "home_X", "stap", "stop_x", "mov", "move_", "step_q", "pause_",
                             "Pause", "repeats", "repeat_x", "repeat_and", "sxxxxxxx", "m", "h_____"}) {
        const std::string text = std::string("BEGIN_MAIN\n") + near + "\nEND_MAIN\n";
        EXPECT_FALSE(s.load(text)) << near;
    }
}

// Hundreds of multi-commands, each known from its definition on and called by
// name (the name table grows many times on the way); a name one letter off is
// not one of them.
TEST(CmdSequence, ManyMultiCommandsAreEachFoundByName)
{
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "BEGIN_MULTI_COMMAND m" + std::to_string(i) + "\nstep_x " + std::to_string(i) +
                "\npause\nEND_MULTI_COMMAND\n";
    text += "BEGIN_MAIN\n";
    for (int i = 299; i >= 0; i -= 37)
        text += "m" + std::to_string(i) + "\n";
    text += "END_MAIN\n";
    cmdSequence s;
    ASSERT_TRUE(s.load(text));
    EXPECT_EQ(s.steps(), 9);
    for (int i = 299; i >= 0; i -= 37) {
        const cmdItem c = s.getNextCmd();
        ASSERT_EQ(c.kind, cmd_kind_t::step_x);
        EXPECT_EQ(c.values[0], i);
        EXPECT_EQ(s.getNextCmd().kind, cmd_kind_t::end_of_step);
    }
    log_capture quiet;
    EXPECT_FALSE(s.load(text.substr(0, text.size() - 9) + "m300\nEND_MAIN\n"));
    EXPECT_FALSE(s.load(text.substr(0, text.size() - 9) + "M1\nEND_MAIN\n"));
}

// Catches a repeat that runs count - 1 or count + 1 times, lost nesting,
// multi-commands that do not return, and step counts that disagree with the walk.
TEST(CmdSequence, CountsNestingAndMultiCommandsRunAsWritten)
{
    cmdSequence s;
    ASSERT_TRUE(s.load("BEGIN_MAIN\nrepeat 3\nstep_x 0.1\npause\nrepeat_end\nrepeat 1\nhome\nrepeat_end\nEND_MAIN\n"));
    EXPECT_EQ(s.steps(), 3);
    EXPECT_EQ(walk(s), "step_x | step_x | step_x | home .");

    ASSERT_TRUE(
        s.load("BEGIN_MULTI_COMMAND row\r\n  step_y 0.5\r\n\tpause\r\nEND_MULTI_COMMAND\r\n"
               "BEGIN_MULTI_COMMAND plane\nrepeat 2\nrow\nrepeat_end\nmove_y 0\nEND_MULTI_COMMAND\n\n"
               "BEGIN_MAIN\nhome\nrepeat 2\nplane\nstep_z 1\nrepeat_end\nEND_MAIN"));
    EXPECT_EQ(s.steps(), 4);
    EXPECT_EQ(walk(s), "home step_y | step_y | move_y step_z step_y | step_y | move_y step_z .");
    s.reset();
    const cmdItem first = s.getNextCmd();
    EXPECT_EQ(first.command, "home");
    EXPECT_EQ(s.getNextCmd().values[0], 0.5);

    ASSERT_TRUE(s.load("BEGIN_MAIN\nmove 1 -2.5 3e-1\nstep 0 0 1\nEND_MAIN\n"));
    EXPECT_EQ(s.steps(), 0);
    const cmdItem move = s.getNextCmd();
    EXPECT_EQ((std::array<double, 3>{1, -2.5, 0.3}), move.values);
    EXPECT_EQ(walk(s), "step .") << "no pause: the whole sequence is one step";
}

// Catches counting by running (hours for large counts), overflow past the
// largest count, and an empty loop of billions that spins.
TEST(CmdSequence, HugeCountsSaturateAndEmptyLoopsAreSkipped)
{
    cmdSequence s;
    ASSERT_TRUE(
        s.load("BEGIN_MAIN\nrepeat 4294967295\nrepeat 4294967295\nrepeat 4294967295\npause\n"
               "repeat_end\nrepeat_end\nrepeat_end\nEND_MAIN\n"));
    EXPECT_EQ(s.steps(), std::numeric_limits<long>::max());
    ASSERT_TRUE(
        s.load("BEGIN_MULTI_COMMAND nothing\nEND_MULTI_COMMAND\nBEGIN_MAIN\nrepeat 4294967295\n"
               "repeat 4294967295\nnothing\nrepeat_end\nrepeat_end\nhome\nEND_MAIN\n"));
    EXPECT_EQ(walk(s, 10), "home .");
}

// Catches a failed load that replaces or damages the sequence held, and an
// error reported on the wrong line. Each text's error is on the line given.
TEST(CmdSequence, EachLoadErrorNamesItsLineAndKeepsThePreviousSequence)
{
    struct case_t {
        const char* text;
        int line;
    };
    const case_t cases[] = {
        {"home\nBEGIN_MAIN\nEND_MAIN\n", 1},                                // outside a block
        {"BEGIN_MAIN\nhome 1\nEND_MAIN\n", 2},                              // a value too many
        {"BEGIN_MAIN\nmove 1 2\nEND_MAIN\n", 2},                            // a value too few
        {"BEGIN_MAIN\nmove_x abc\nEND_MAIN\n", 2},                          // not a number
        {"BEGIN_MAIN\nmove_x 1.5cm\nEND_MAIN\n", 2},                        // trailing text
        {"BEGIN_MAIN\nstep_y nan\nEND_MAIN\n", 2},                          // not finite
        {"BEGIN_MAIN\nstep 0 inf 0\nEND_MAIN\n", 2},                        // not finite
        {"BEGIN_MAIN\nfly\nEND_MAIN\n", 2},                                 // unknown word
        {"BEGIN_MAIN\n\nrepeat_end\nrepeat 2\nrepeat_end\nEND_MAIN\n", 3},  // repeat_end before repeat
        {"BEGIN_MAIN\nrepeat 2\nhome\nEND_MAIN\n", 4},                      // open repeat at the block's end
        {"BEGIN_MAIN\nrepeat 0\nrepeat_end\nEND_MAIN\n", 2},                // zero count
        {"BEGIN_MAIN\nrepeat -1\nrepeat_end\nEND_MAIN\n", 2},               // negative count
        {"BEGIN_MAIN\nrepeat 4294967296\nrepeat_end\nEND_MAIN\n", 2},       // beyond 32 bits
        {"BEGIN_MAIN\nrepeat 2.0\nrepeat_end\nEND_MAIN\n", 2},              // not digits
        {"BEGIN_MAIN\nrepeat +2\nrepeat_end\nEND_MAIN\n", 2},               // not digits
        {"BEGIN_MAIN\nlater\nEND_MAIN\nBEGIN_MULTI_COMMAND later\nEND_MULTI_COMMAND\n", 2},  // used before defined
        {"BEGIN_MULTI_COMMAND self\nself\nEND_MULTI_COMMAND\nBEGIN_MAIN\nEND_MAIN\n", 2},    // calls itself
        {"BEGIN_MULTI_COMMAND\nEND_MULTI_COMMAND\nBEGIN_MAIN\nEND_MAIN\n", 1},               // no name
        {"BEGIN_MULTI_COMMAND a b\nEND_MULTI_COMMAND\nBEGIN_MAIN\nEND_MAIN\n", 1},           // two names
        {"BEGIN_MULTI_COMMAND pause\nEND_MULTI_COMMAND\nBEGIN_MAIN\nEND_MAIN\n", 1},         // a command's name
        {"BEGIN_MAIN\nBEGIN_MAIN\nEND_MAIN\n", 2},                                           // a block inside a block
        {"BEGIN_MAIN\nhome\nEND_MULTI_COMMAND\nEND_MAIN\n", 3},                              // the wrong end
        {"BEGIN_MAIN\nhome\n", 2},                                     // open at the end of the file
        {"BEGIN_MAIN\nEND_MAIN\nBEGIN_MULTI_COMMAND m\nhome\n\n", 5},  // open at the end, blank lines counted
        {"BEGIN_MULTI_COMMAND m\nEND_MULTI_COMMAND\n", 2},             // no main block
        {"BEGIN_MAIN\nfly\nhome\nswim\nEND_MAIN\n", 4},                // the last line in error
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.text);
        cmdSequence s;
        ASSERT_TRUE(s.load("BEGIN_MAIN\nhome_z\npause\nEND_MAIN\n"));
        log_capture log;
        std::vector<zsq_error_t> errors;
        EXPECT_FALSE(s.load(c.text, &errors));
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(errors.back().line, c.line) << errors.back().reason;
        EXPECT_TRUE(log.contains(wxString::Format("Error on line %d", c.line), wxLOG_Error));
        EXPECT_EQ(s.steps(), 1);
        EXPECT_EQ(walk(s), "home_z | .");
    }
}

}  // namespace
