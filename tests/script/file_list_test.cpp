// The files 'open' hands to a run: recordings only, in an order every machine
// agrees on, narrowed by filter and range with their numbers kept, so that a
// cohort split into many runs covers each recording exactly once.
#include <gtest/gtest.h>

#include "script/script_files.h"
#include "script_test_support.h"

namespace {

class FileList : public ScriptTest {
protected:
    wxString data;

    void SetUp() override
    {
        ScriptTest::SetUp();
        data = path("data");
        ASSERT_TRUE(wxFileName::Mkdir(data));
        // Recordings in any letter case, and everything else a data folder holds.
        for (const char* name : {"b02.ks", "a01.ks", "B03.KS", "c04.Ks", "zed.ks", "\xc3\xa9t\xc3\xa9.ks", "a01.kvi",
                                 "notes.txt", "a01.ks.bak", "run_results.txt", "ks", "x.ksx"})
            ASSERT_TRUE(write_text_file(data + "/" + wxString::FromUTF8(name), "x"));
        ASSERT_TRUE(wxFileName::Mkdir(data + "/folder.ks"));
    }

    std::vector<wxString> names_of(const std::vector<script_file_t>& files) const
    {
        std::vector<wxString> out;
        for (const script_file_t& f : files)
            out.push_back(wxString::Format("%ld ", f.number) + wxFileName(f.path).GetFullName());
        return out;
    }
    std::vector<script_file_t> listed(const wxString& filter, const wxString& range = wxString())
    {
        std::vector<wxString> names;
        wxString why;
        EXPECT_TRUE(list_recordings(data, &names, &why)) << why;
        std::vector<script_file_t> files = filter_recordings(data, names, filter);
        if (!range.empty()) {
            EXPECT_TRUE(select_file_range(range, &files)) << range;
        }
        return files;
    }
};

// Byte order puts upper case before lower case and accented names last,
// whatever the locale.
TEST_F(FileList, RecordingsOnlyInByteOrder)
{
    EXPECT_EQ(names_of(listed("")), (std::vector<wxString>{"1 B03.KS", "2 a01.ks", "3 b02.ks", "4 c04.Ks", "5 zed.ks",
                                                           "6 " + wxString::FromUTF8("\xc3\xa9t\xc3\xa9.ks")}));
    for (const script_file_t& f : listed(""))
        EXPECT_TRUE(wxFileName(f.path).IsAbsolute()) << f.path;
}

// The filter gets its trailing '*' and numbers follow the filtered list.
TEST_F(FileList, FilterNarrowsAndNumbers)
{
    EXPECT_EQ(names_of(listed("b")), (std::vector<wxString>{"1 b02.ks"}));
    EXPECT_EQ(names_of(listed("?0")), (std::vector<wxString>{"1 B03.KS", "2 a01.ks", "3 b02.ks", "4 c04.Ks"}));
    EXPECT_EQ(names_of(listed("*.KS")), (std::vector<wxString>{"1 B03.KS"}));
    EXPECT_TRUE(listed("nothing").empty());
}

struct range_case_t {
    const char* range;
    std::vector<wxString> kept;
};

// Ranges keep the full list's numbers; spans past the list are clipped.
TEST_F(FileList, RangesKeepNumbers)
{
    const range_case_t cases[] = {
        {"2", {"2 a01.ks"}},
        {"2,4", {"2 a01.ks", "4 c04.Ks"}},
        {"4;2", {"2 a01.ks", "4 c04.Ks"}},
        {"2-3", {"2 a01.ks", "3 b02.ks"}},
        {"2:3", {"2 a01.ks", "3 b02.ks"}},
        {" 5 , 1 ", {"1 B03.KS", "5 zed.ks"}},
        {"1-2,2-3", {"1 B03.KS", "2 a01.ks", "3 b02.ks"}},
        {"5-99999999999999999999999", {"5 zed.ks", "6 " + wxString::FromUTF8("\xc3\xa9t\xc3\xa9.ks")}},
        {"0", {}},
        {"7-9", {}},
        {"0-1", {"1 B03.KS"}},
    };
    for (const range_case_t& c : cases)
        EXPECT_EQ(names_of(listed("", c.range)), c.kept) << c.range;
}

// A range that does not read is refused, never read as something else.
TEST_F(FileList, BadRangesAreRefused)
{
    for (const char* bad : {"", "a", "1-", "-2", "3-1", "1,,2", "1;", "1-2-3", "1.5", "+1", "1 2"}) {
        std::vector<script_file_t> files = listed("");
        EXPECT_FALSE(select_file_range(bad, &files)) << bad;
        EXPECT_EQ(files.size(), 6u) << bad;
    }
}

// A span of billions over a short list costs no more than the list.
TEST_F(FileList, HugeSpansDoNotIterate)
{
    std::vector<script_file_t> files = listed("");
    EXPECT_TRUE(select_file_range("1-18446744073709551615;2:9223372036854775807", &files));
    EXPECT_EQ(files.size(), 6u);
}

// Through the script: the parse lists the files it will open, numbered.
TEST_F(FileList, OpenLineListsTheFiles)
{
    Script script(sink, fakes.table);
    ASSERT_TRUE(script.ParseScript("open data a 1-2\nwrite x", path("run.txt"))) << sink.all();
    EXPECT_TRUE(sink.has(">> In line 1 of Script. Parsed 1 ks files:")) << sink.all();
    EXPECT_TRUE(sink.has(">> File   1 - a01.ks")) << sink.all();
    ASSERT_EQ(script.plan().files.size(), 1u);
    EXPECT_EQ(script.plan().files[0].path, data + "/a01.ks");
    // With no results_dir the open folder takes the results.
    EXPECT_EQ(script.plan().results_dir, data);

    Script second(sink, fakes.table);
    ASSERT_TRUE(second.ParseScript("open data \"\" 3;5\nwrite x", path("run.txt"))) << sink.all();
    EXPECT_EQ(names_of(second.plan().files), (std::vector<wxString>{"3 b02.ks", "5 zed.ks"}));
    EXPECT_TRUE(sink.has(">> File   5 - zed.ks"));
}

TEST_F(FileList, OpenRefusesEmptyListsAndBadRanges)
{
    Script script(sink, fakes.table);
    EXPECT_FALSE(script.ParseScript("open data nothing\nwrite x", path("run.txt")));
    EXPECT_TRUE(sink.has(">> In line 1 of Script. ERROR: There are no ks files to process in this directory."))
        << sink.all();
    EXPECT_FALSE(script.ParseScript("open data * 1-x\nwrite x", path("run.txt")));
    EXPECT_TRUE(sink.has(">> In line 1 of Script. ERROR: Invalid file range: 1-x")) << sink.all();
    EXPECT_FALSE(script.ParseScript("open data * 9\nwrite x", path("run.txt")));
    EXPECT_TRUE(script.plan().files.empty());
    EXPECT_FALSE(script.ParseScript("open data\nopen data\nwrite x", path("run.txt")));
    EXPECT_TRUE(sink.has(">> In line 2 of Script. ERROR: Multiple 'open' calls made. Only one supported."))
        << sink.all();
}

}  // namespace
