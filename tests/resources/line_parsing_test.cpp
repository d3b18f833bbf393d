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

TEST_F(LineParsing, NumbersAndLeadingWhiteSpace)
{
    EXPECT_TRUE(parse("TEST_FRAMES 120"));
    EXPECT_EQ(frames.value(), 120);
    EXPECT_TRUE(parse("  TEST_FRAMES \t  -7"));
    EXPECT_EQ(frames.value(), -7);
    EXPECT_TRUE(parse("TEST_SCALE 0.0125"));
    EXPECT_DOUBLE_EQ(scale.value(), 0.0125);
    EXPECT_TRUE(parse("TEST_SCALE 1e-3"));
    EXPECT_DOUBLE_EQ(scale.value(), 0.001);
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

// Files written on other systems end lines with CR LF; they must read like LF.
TEST_F(LineParsing, LineEndingsAreNotPartOfTheValue)
{
    EXPECT_TRUE(parse("TEST_FRAMES 33\r\n"));
    EXPECT_EQ(frames.value(), 33);
    EXPECT_TRUE(parse("TEST_TEXT probe L12-5\r\n"));
    EXPECT_EQ(text.value(), "probe L12-5");
}

TEST_F(LineParsing, BooleanWords)
{
    for (const char* yes : {"TEST_FLAG true", "TEST_FLAG True", "TEST_FLAG t", "TEST_FLAG 1", "TEST_FLAG T"}) {
        flag.write(false);
        EXPECT_TRUE(parse(yes)) << yes;
        EXPECT_TRUE(flag.value()) << yes;
    }
    for (const char* no : {"TEST_FLAG false", "TEST_FLAG F", "TEST_FLAG 0"}) {
        flag.write(true);
        EXPECT_TRUE(parse(no)) << no;
        EXPECT_FALSE(flag.value()) << no;
    }
    flag.write(false);
    for (const char* bad : {"TEST_FLAG yes", "TEST_FLAG 2", "TEST_FLAG", "TEST_FLAG -1", "TEST_FLAG on"}) {
        EXPECT_FALSE(parse(bad)) << bad;
        EXPECT_FALSE(flag.value()) << bad;
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

TEST_F(LineParsing, StringsKeepInnerSpacesAndLoseOuterOnes)
{
    EXPECT_TRUE(parse("TEST_TEXT   Linear probe  7.5 MHz   "));
    EXPECT_EQ(text.value(), "Linear probe  7.5 MHz");
    EXPECT_TRUE(parse("TEST_TEXT"));
    EXPECT_EQ(text.value(), "");
}

// Unknown names, names of another kind of file, and empty lines are accepted and ignored.
TEST_F(LineParsing, IgnoredLines)
{
    log_capture log;
    EXPECT_TRUE(parse(""));
    EXPECT_TRUE(parse("   \t \r\n"));
    EXPECT_TRUE(parse("RES_FROM_A_NEWER_VERSION 12"));
    EXPECT_TRUE(log.contains("parse_no_changeprocs: Unable to parse RES_FROM_A_NEWER_VERSION 12", wxLOG_Debug));
    EXPECT_TRUE(parse("TEST_FRAMES 40", RES_FLAG_RECORDING_BODY));
    EXPECT_EQ(frames.value(), 0);
    EXPECT_TRUE(log.contains("parse_no_changeprocs: Unexpected input in this sort of file: TEST_FRAMES 40",
                             wxLOG_Debug));
    // A script passes all ones and may set anything.
    EXPECT_TRUE(parse("TEST_FRAMES 40", RES_MASK_ALL));
    EXPECT_EQ(frames.value(), 40);
}

// Names are case-sensitive and must match whole.
TEST_F(LineParsing, NamesMatchExactly)
{
    EXPECT_TRUE(parse("test_frames 9"));
    EXPECT_TRUE(parse("TEST_FRAMESX 9"));
    EXPECT_TRUE(parse("TEST_FRAME 9"));
    EXPECT_EQ(frames.value(), 0);
    EXPECT_TRUE(parse("TEST_FRAMES\t9"));
    EXPECT_EQ(frames.value(), 9);
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

// A successful parse clears needs-save: a file just read counts as saved.
TEST_F(LineParsing, ParsedValuesCountAsSaved)
{
    frames.write(8);
    EXPECT_TRUE(frames.needs_save());
    EXPECT_TRUE(base_res_t::parse_no_changeprocs("TEST_FRAMES 9", RES_MASK_ALL));
    EXPECT_FALSE(frames.needs_save());
    base_res_t::cancel_all_pending_changes();
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

TEST_F(LineParsing, LineFormats)
{
    frames.write(120);
    scale.write(0.0123456789);
    flag.write(true);
    text.write("two\nlines\r\nhere");
    EXPECT_EQ(written_lines(RES_FLAG_RECORDING_HEADER), "TEST_FRAMES 120\n");
    // Newest first; a line break in a string must not inject a line into the file.
    EXPECT_EQ(written_lines(RES_FLAG_RECORDING_BODY),
              "TEST_TEXT two lines  here\nTEST_FLAG true\nTEST_SCALE 0.012346\n");
}

// What is written reads back to the same value (to the printed precision for doubles).
TEST_F(LineParsing, WrittenLinesReadBack)
{
    frames.write(-9000000000LL);
    scale.write(-12.5);
    text.write(wxString::FromUTF8("  sonde \xc3\xa0 main"));
    const wxString header = written_lines(RES_FLAG_RECORDING_HEADER);
    const wxString body = written_lines(RES_FLAG_RECORDING_BODY);
    frames.write(0);
    scale.write(0);
    text.write("");
    for (const wxString& lines : {header, body})
        for (const wxString& line : wxSplit(lines, '\n'))
            EXPECT_TRUE(parse(line, RES_FLAG_RECORDING_HEADER | RES_FLAG_RECORDING_BODY)) << line;
    EXPECT_EQ(frames.value(), -9000000000LL);
    EXPECT_EQ(scale.value(), -12.5);
    EXPECT_EQ(text.value(), wxString::FromUTF8("sonde \xc3\xa0 main"));
}

TEST_F(LineParsing, GetAsStringByName)
{
    log_capture log;
    frames.write(77);
    EXPECT_EQ(base_res_t::get_as_string("TEST_FRAMES"), "77");
    EXPECT_EQ(base_res_t::get_as_string("RES_NOT_THERE"), "");
    EXPECT_TRUE(log.contains("get_as_string: Unable to parse RES_NAME: RES_NOT_THERE", wxLOG_Error));
    gen_res_t<int> opaque(L"TEST_OPAQUE", 0, RESGROUP_MISC);
    EXPECT_EQ(base_res_t::get_as_string("TEST_OPAQUE"), "");
    EXPECT_TRUE(log.contains("get_as_string: Unable to convert RES_NAME 'TEST_OPAQUE' value to string.", wxLOG_Error));
}

}  // namespace
