// Resource lines as files and scripts give them: what is accepted, what is
// refused, and that a refused line never leaves a value half-written.
#include <string>

#include <gtest/gtest.h>
#include <wx/mstream.h>
#include <wx/txtstrm.h>

#include "resources/typed_res.h"
#include "support/log_capture.h"

namespace {

class LineParsing : public ::testing::Test {
protected:
    long_res_t frames{0, L"TEST_FRAMES", RES_FLAG_RECORDING_HEADER, RESGROUP_DATA};
    double_res_t scale{0.01, L"TEST_SCALE", RES_FLAG_RECORDING_BODY, RESGROUP_CALIBRATION};
    bool_res_t flag{false, L"TEST_FLAG", RES_FLAG_RECORDING_BODY, RESGROUP_IMAGE};
    wxString_res_t text{"", L"TEST_TEXT", RES_FLAG_RECORDING_BODY, RESGROUP_MISC};
    bool in_script = false;

    void SetUp() override { base_res_t::set_script_switch(&in_script); }
    void TearDown() override
    {
        base_res_t::set_script_switch(nullptr);
        base_res_t::cancel_all_pending_changes();
    }
    // Parses one line and runs the pass, as a file reader would at the end.
    bool parse(const wxString& line, unsigned long mask = RES_MASK_ALL)
    {
        const bool ok = base_res_t::parse_no_changeprocs(line, mask);
        base_res_t::make_pending_writes_happen();
        return ok;
    }
};

// Accepted lines: leading white space, tabs, CR LF endings; strings keep inner spaces.
TEST_F(LineParsing, AcceptedLines)
{
    EXPECT_TRUE(parse("  TEST_FRAMES \t  -7"));
    EXPECT_EQ(frames.value(), -7);
    EXPECT_TRUE(parse("TEST_FRAMES 33\r\n"));
    EXPECT_EQ(frames.value(), 33);
    EXPECT_TRUE(parse("TEST_FRAMES\t9"));
    EXPECT_EQ(frames.value(), 9);
    EXPECT_TRUE(parse("TEST_SCALE 0.0125"));
    EXPECT_DOUBLE_EQ(scale.value(), 0.0125);
    EXPECT_TRUE(parse("TEST_SCALE 1e-3"));
    EXPECT_DOUBLE_EQ(scale.value(), 0.001);
    EXPECT_TRUE(parse("TEST_TEXT   Linear probe  7.5 MHz   \r\n"));
    EXPECT_EQ(text.value(), "Linear probe  7.5 MHz");
    EXPECT_TRUE(parse("TEST_TEXT"));
    EXPECT_EQ(text.value(), "");
}

// Trailing white space is an error for numbers in files but accepted from a script.
TEST_F(LineParsing, TrailingWhiteSpaceFilesVersusScripts)
{
    EXPECT_FALSE(parse("TEST_FRAMES 12 "));
    EXPECT_EQ(frames.value(), 0);
    EXPECT_FALSE(parse("TEST_SCALE 0.5\t"));
    in_script = true;
    EXPECT_TRUE(parse("TEST_FRAMES 12 "));
    EXPECT_EQ(frames.value(), 12);
    EXPECT_TRUE(parse("TEST_SCALE 0.5\t"));
    EXPECT_DOUBLE_EQ(scale.value(), 0.5);
}

// Boolean words; a refused word leaves the value as it was.
TEST_F(LineParsing, BooleanWords)
{
    const std::pair<const char*, int> cases[] = {{"true", 1}, {"True", 1}, {"t", 1},    {"1", 1},
                                                 {"T", 1},    {"false", 0}, {"F", 0},   {"0", 0},
                                                 {"yes", -1}, {"2", -1},    {"", -1},   {"-1", -1}, {"on", -1}};
    for (const auto& [word, expected] : cases) {
        const bool before = expected != 1;
        flag.write(before);
        EXPECT_EQ(parse(*word ? wxString("TEST_FLAG ") + word : wxString("TEST_FLAG")), expected >= 0) << word;
        EXPECT_EQ(flag.value(), expected < 0 ? before : expected == 1) << word;
    }
}

// Every malformed number is refused and the old value stays, with nothing queued.
TEST_F(LineParsing, MalformedNumbersAreRefusedWithoutSideEffects)
{
    frames.write(5);
    scale.write(0.25);
    for (const char* bad : {"TEST_FRAMES 12abc", "TEST_FRAMES 1.5", "TEST_FRAMES", "TEST_FRAMES 99999999999999999999",
                            "TEST_FRAMES 0x10", "TEST_FRAMES - 3", "TEST_FRAMES ++3"}) {
        EXPECT_FALSE(base_res_t::parse_no_changeprocs(bad, RES_MASK_ALL)) << bad;
        EXPECT_EQ(frames.pending(), 5) << bad;
    }
    for (const char* bad : {"TEST_SCALE nan", "TEST_SCALE NaN", "TEST_SCALE inf", "TEST_SCALE -infinity",
                            "TEST_SCALE 1e999", "TEST_SCALE 0,5", "TEST_SCALE 1.0.0", "TEST_SCALE"}) {
        EXPECT_FALSE(base_res_t::parse_no_changeprocs(bad, RES_MASK_ALL)) << bad;
        EXPECT_EQ(scale.pending(), 0.25) << bad;
    }
    base_res_t::make_pending_writes_happen();
    EXPECT_EQ(frames.value(), 5);
    EXPECT_EQ(scale.value(), 0.25);
}

// Empty lines, unknown names (case-sensitive, matched whole) and names of
// another kind of file are accepted and ignored.
TEST_F(LineParsing, IgnoredLines)
{
    for (const char* line : {"", "   \t \r\n", "RES_FROM_A_NEWER_VERSION 12", "test_frames 9", "TEST_FRAMESX 9",
                             "TEST_FRAME 9"})
        EXPECT_TRUE(parse(line)) << line;
    EXPECT_TRUE(parse("TEST_FRAMES 40", RES_FLAG_RECORDING_BODY));
    EXPECT_EQ(frames.value(), 0);
    // A script passes all ones and may set anything.
    EXPECT_TRUE(parse("TEST_FRAMES 40", RES_MASK_ALL));
    EXPECT_EQ(frames.value(), 40);
}

// Garbage of any length or encoding must neither crash nor touch a value.
TEST_F(LineParsing, GarbageNeverCrashesOrWrites)
{
    frames.write(3);
    const std::string long_name(100000, 'R');
    EXPECT_TRUE(parse(wxString(long_name)));
    EXPECT_FALSE(parse(wxString("TEST_FRAMES ") + wxString(long_name)));
    EXPECT_FALSE(parse(wxString("TEST_FRAMES ") + wxString(200, '9')));
    wxString binary;
    for (int i = 1; i < 0x3000; i += 7)
        binary += wxUniChar(i);
    EXPECT_TRUE(parse(binary));
    EXPECT_FALSE(parse(wxString::FromUTF8("TEST_FRAMES \xd9\xa3")));  // Arabic-Indic digit three
    EXPECT_TRUE(parse(wxString::FromUTF8("TEST_TEXT caf\xc3\xa9")));
    EXPECT_EQ(text.value(), wxString::FromUTF8("caf\xc3\xa9"));
    EXPECT_EQ(frames.value(), 3);
}

// A parse procedure replaces the type's own parsing.
TEST_F(LineParsing, ParseProcedureTakesPrecedence)
{
    wxString seen;
    text.set_parse_proc([&](const wxString& v) {
        seen = v;
        return v != "refuse";
    });
    EXPECT_TRUE(parse("TEST_TEXT  keep this "));
    EXPECT_EQ(seen, "keep this ");
    EXPECT_FALSE(parse("TEST_TEXT refuse"));
    EXPECT_EQ(text.value(), "") << "the procedure, not the type, decides what is stored";
}

wxString written_lines(unsigned long mask)
{
    wxMemoryOutputStream out;
    EXPECT_TRUE(base_res_t::write_out_to_file(out, mask));
    const auto n = out.GetLength();
    std::string bytes(n, '\0');
    out.CopyTo(bytes.data(), n);
    return wxString::FromUTF8(bytes.data(), bytes.size());
}

// The written form: newest first, doubles to six places, a line break in a
// string never injects a line; and what is written reads back.
TEST_F(LineParsing, WrittenLinesReadBack)
{
    frames.write(120);
    scale.write(0.0123456789);
    flag.write(true);
    text.write("two\nlines\r\nhere");
    EXPECT_EQ(written_lines(RES_FLAG_RECORDING_HEADER), "TEST_FRAMES 120\n");
    EXPECT_EQ(written_lines(RES_FLAG_RECORDING_BODY),
              "TEST_TEXT two lines  here\nTEST_FLAG true\nTEST_SCALE 0.012346\n");

    frames.write(-9000000000LL);
    scale.write(-12.5);
    text.write(wxString::FromUTF8("  sonde \xc3\xa0 main"));
    const wxString lines = written_lines(RES_FLAG_RECORDING_HEADER) + written_lines(RES_FLAG_RECORDING_BODY);
    frames.write(0);
    scale.write(0);
    text.write("");
    for (const wxString& line : wxSplit(lines, '\n'))
        EXPECT_TRUE(parse(line, RES_FLAG_RECORDING_HEADER | RES_FLAG_RECORDING_BODY)) << line;
    EXPECT_EQ(frames.value(), -9000000000LL);
    EXPECT_EQ(scale.value(), -12.5);
    EXPECT_EQ(text.value(), wxString::FromUTF8("sonde \xc3\xa0 main"));
}

}  // namespace
