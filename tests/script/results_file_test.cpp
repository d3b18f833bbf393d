// The results table's text and the way its files reach the disk: a table is
// read by spreadsheets and by the cohort merge, so a field must never split
// into two, and a failed run must never leave half a table.
#include <gtest/gtest.h>

#include <wx/dir.h>

#include "script/script_results.h"
#include "script_test_support.h"

namespace {

struct field_case_t {
    const char* field;
    const char* written;
};

// RFC 4180: quoted only when holding a comma, a quote or a line break; quotes doubled.
TEST(ResultsTable, FieldsQuotedOnlyWhenNeeded)
{
    const field_case_t cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"with space", "with space"},
        {"0.010000", "0.010000"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"carriage\rreturn", "\"carriage\rreturn\""},
        {"semi;colon", "semi;colon"},
    };
    for (const field_case_t& c : cases)
        EXPECT_EQ(script_results_t::csv_field(c.field), c.written) << c.field;
    EXPECT_EQ(script_results_t::row_line({"1", "a,b", ""}), "1,\"a,b\",\n");
    EXPECT_EQ(script_results_t::header_line({"RES_XSCALE"}),
              "File number,Full file name,Results file name,Current surface,RES_XSCALE\n");
}

class ResultsFiles : public SessionTest {};

// Nothing appears under the target names until the files are committed.
TEST_F(ResultsFiles, AppearOnlyWhenCommitted)
{
    script_results_t results;
    wxString why;
    ASSERT_TRUE(results.open(dir, "r", {"L"}, true, &why)) << why;
    ASSERT_TRUE(results.add_row({"1", "x", "y", "z", "v"}));
    EXPECT_FALSE(wxFileName::FileExists(path("r.txt")));
    ASSERT_TRUE(results.commit_table(&why)) << why;
    EXPECT_EQ(read_text_file(path("r.txt")),
              "File number,Full file name,Results file name,Current surface,L\n1,x,y,z,v\n");
    EXPECT_FALSE(wxFileName::FileExists(path("r.log")));
    results.discard();
    EXPECT_FALSE(wxFileName::FileExists(path("r.log")));
    wxArrayString left;
    wxDir::GetAllFiles(dir, &left, "*.tmp-*", wxDIR_FILES);
    EXPECT_TRUE(left.empty());
}

// The log keeps older runs' lines, however long it has grown, byte for byte.
TEST_F(ResultsFiles, LogAppendsToTheOldOne)
{
    wxString old;
    for (int i = 0; i < 20000; ++i)
        old << ">> line " << i << " of an older run\n";
    ASSERT_TRUE(write_text_file(path("r.log"), old));
    script_results_t results;
    wxString why;
    ASSERT_TRUE(results.open(dir, "r", {}, true, &why)) << why;
    ASSERT_TRUE(results.add_log_line(">> new"));
    ASSERT_TRUE(results.commit_log(&why)) << why;
    EXPECT_EQ(read_text_file(path("r.log")), old + ">> new\n");
}

// A missing folder is refused when the files are started, not at the end of a long run.
TEST_F(ResultsFiles, MissingFolderRefusedAtOpen)
{
    script_results_t results;
    wxString why;
    EXPECT_FALSE(results.open(path("no/such"), "r", {}, true, &why));
    EXPECT_TRUE(why.Contains("cannot write")) << why;
    EXPECT_FALSE(results.add_row({"1"}));
    EXPECT_FALSE(results.commit_table(&why));
}

}  // namespace
