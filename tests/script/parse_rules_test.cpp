// The language's rules as tables of script text and the one error it must
// give, with its line: a rule that stops holding, or a message that drifts
// from the documented text, shows here before any user meets it.
#include <gtest/gtest.h>

#include "script/resource_rules.h"
#include "script_test_support.h"

namespace {

struct rule_case_t {
    wxString text;
    wxString error;
    int line;
};

wxString find_script_name(const wxString& label)
{
    const base_res_t* r = find_script_resource(label);
    return r ? wxString(r->name()) : "<none>";
}

class ParseRules : public ScriptTest {
protected:
    // Parses text as a script saved in the session folder; the errors said.
    std::vector<wxString> parse_errors(const wxString& text)
    {
        sink.lines.clear();
        sink.kinds.clear();
        Script script(sink, fakes.table);
        const bool parsed = script.ParseScript(text, path("run.txt"));
        std::vector<wxString> errors = sink.errors();
        EXPECT_EQ(parsed, errors.empty()) << text;
        return errors;
    }
    void check(const rule_case_t& c)
    {
        const std::vector<wxString> errors = parse_errors(c.text);
        ASSERT_EQ(errors.size(), 1u) << c.text << "\n" << sink.all();
        EXPECT_EQ(errors[0], script_messages_t::format(c.error, c.line, script_message_kind_t::error)) << c.text;
    }
};

TEST_F(ParseRules, EmptyScriptsAndUnknownCommands)
{
    const rule_case_t cases[] = {
        {"", "There is nothing in this script to run.", 0},
        {"# a comment\n\n   \t\n# another", "There is nothing in this script to run.", 0},
        {"script_name r\nwrite_header RES_XSCALE", "There is nothing in this script to run.", 0},
        {"write a\nbogus", "Command not recognised.", 2},
        {"WRITE a", "Command not recognised.", 1},
        {"write a\n\"write\" b\nfunc",
         "Missing FUNC_LABEL. Format should be 'FUNC_LABEL args' where args are space "
         "separated.",
         3},
    };
    for (const rule_case_t& c : cases)
        check(c);
}

// A malformed quote names its command and stops the parse at its line.
TEST_F(ParseRules, QuotesAreReportedWithTheirLine)
{
    const rule_case_t cases[] = {
        {"write \"a\"b\"", "Internal quote in write: \"a\"b\"", 1},
        {"write a\nrepeat \"2\"2\nend", "Internal quote in repeat: \"2\"2", 2},
        {"write a\nwrite b\nfunc FILE_OPEN \"/data/my file.ks", "Missing closing quote in func: \"/data/my file.ks", 3},
    };
    for (const rule_case_t& c : cases)
        check(c);
}

TEST_F(ParseRules, FunctionLabelsAndArgumentCounts)
{
    const rule_case_t cases[] = {
        {"func", "Missing FUNC_LABEL. Format should be 'FUNC_LABEL args' where args are space separated.", 1},
        {"func NOPE", "unsupported function call: NOPE", 1},
        {"func S_NOPE", "unsupported function call: S_NOPE", 1},
        {"func file_open a.ks", "unsupported function call: file_open", 1},
        {"func FILE_SAVEAS", " not enough arguments in function: FILE_SAVEAS", 1},
        {"func KSC_FILE_SAVEAS", " not enough arguments in function: KSC_FILE_SAVEAS", 1},
        {"func ORIENT_3D 1 2 3 4 5", " not enough arguments in function: ORIENT_3D", 1},
        {"func OBJECT_OPACITY 1", " not enough arguments in function: OBJECT_OPACITY", 1},
        {"func FILE_SAVEAS my file.ks",
         "Too many arguments in function: FILE_SAVEAS (a name holding blanks needs "
         "quotes)",
         1},
        {"func FILE_CLOSE now", "Too many arguments in function: FILE_CLOSE (a name holding blanks needs quotes)", 1},
        {"func EXPORT_VOXELS a.ks 1 0.1 masked slab=1 fill-holes=1 clip=0,0,9,9 threads=2 masked",
         "Too many arguments in function: EXPORT_VOXELS (a name holding blanks "
         "needs quotes)",
         1},
    };
    for (const rule_case_t& c : cases)
        check(c);
}

// Each prefix makes the same call as the bare name; quoted names count as one argument.
TEST_F(ParseRules, PrefixesAreDropped)
{
    for (const char* label : {"FILE_SAVE", "S_FILE_SAVE", "KSC_FILE_SAVE", "KSM_FILE_SAVE"}) {
        Script script(sink, fakes.table);
        ASSERT_TRUE(script.ParseScript(wxString("func ") + label, path("run.txt"))) << label << sink.all();
        ASSERT_EQ(script.plan().body.size(), 1u);
        EXPECT_EQ(script.plan().body[0].commands[0].words, (std::vector<wxString>{"func", "FILE_SAVE"})) << label;
    }
    Script script(sink, fakes.table);
    ASSERT_TRUE(script.ParseScript("func FILE_SAVEAS \"my file.ks\"\nfunc EXPORT_VOXELS v.ks 2", path("run.txt")));
    EXPECT_EQ(script.plan().body[0].commands[0].words[2], "my file.ks");
}

// A function nobody registered, or one that draws into views without a window,
// fails the parse: a run must not find out halfway through a cohort.
TEST_F(ParseRules, UnavailableFunctionsFailTheParse)
{
    fakes.table.unregister_function("SURFACE_ALL");
    fakes.table.unregister_function("THICKNESS_SURFACE");
    fakes.fake("SAVE_3D", true);
    const rule_case_t cases[] = {
        {"write a\nfunc SURFACE_ALL", "Function SURFACE_ALL is not available in this version.", 2},
        {"func KSM_SURFACE_ALL", "Function SURFACE_ALL is not available in this version.", 1},
        {"func SAVE_3D view.png", "Function SAVE_3D is not available without the program's window.", 1},
        // A loop selects each object and its surface through these two.
        {"write a\nloop\nwrite b\nend", "Function THICKNESS_SURFACE is not available in this version.", 2},
    };
    for (const rule_case_t& c : cases)
        check(c);

    fakes.table.set_display_available(true);
    EXPECT_TRUE(parse_errors("func SAVE_3D view.png").empty()) << sink.all();
    fakes.table.unregister_function("FILE_OPEN");
    check({"open .\nwrite a", "Function FILE_OPEN is not available in this version.", 1});
}

TEST_F(ParseRules, ParamLabelsAndValues)
{
    const rule_case_t cases[] = {
        {"param", "Missing LABEL and value(s). Format should be 'LABEL value(s)'.", 1},
        {"param RES_XSCALE", "Missing value(s). Format should be 'LABEL value(s)'.", 1},
        {"param NO_SUCH_LABEL 1", "NO_SUCH_LABEL is invalid: it does not match any existing LABEL.", 1},
        {"param RES_NO_SUCH 1", "RES_NO_SUCH is invalid: it does not match any existing LABEL.", 1},
    };
    for (const rule_case_t& c : cases)
        check(c);

    // The prefix may be left out; the plan holds the resource's own name.
    Script script(sink, fakes.table);
    ASSERT_TRUE(script.ParseScript("param XSCALE 0.02\nparam CURRENT_OBJECT 3", path("run.txt"))) << sink.all();
    EXPECT_EQ(script.plan().body[0].commands[0].words, (std::vector<wxString>{"param", "RES_XSCALE", "0.02"}));
    EXPECT_EQ(script.plan().body[1].commands[0].words[1], "CURRENT_OBJECT");
}

// Data lines, values without a text form and the interpreter's own state
// cannot be set by a script: each would corrupt the data or the run.
TEST_F(ParseRules, ParamRefusals)
{
    const char* data_lines[] = {"IM",
                                "LOAD",
                                "CONT",
                                "OBJECT",
                                "CURVE",
                                "SWEEPS",
                                "LANDMARK",
                                "FIDUCIAL",
                                "RES_END_HEADER",
                                "END_HEADER",
                                "RES_BIN_IM_FILENAME",
                                "RES_DICOM_FRAME_LIST"};
    for (const char* label : data_lines) {
        const wxString name = find_script_name(label);
        check({wxString::Format("param %s 1", label),
               name + " cannot be set by a script: it is a data line of a recording file.", 1});
    }
    for (const char* label : {"RES_IN_SCRIPT", "SCRIPT_RESULTS_DIR", "RES_SCRIPT_RESULTS_NAME", "RES_SCRIPT_FUNC_ARG",
                              "RES_SCRIPT_WRITE_MESSAGE", "RES_SCRIPT_FILENAME"}) {
        const wxString name = find_script_name(label);
        check({wxString::Format("param %s x", label),
               name + " cannot be set by a script: the script interpreter sets it.", 1});
    }
    for (const char* label : {"RES_OBJECT", "RES_RESLICE", "RES_ASCII_FILENAME", "RES_SURFACE3"}) {
        check({wxString::Format("param %s x", label),
               wxString(label) + " cannot be set by a script: it has no text form.", 1});
    }
    // Values of their own type that template lines carry as words remain settable.
    EXPECT_TRUE(parse_errors("param RES_VIDEO_STANDARD NTSC").empty()) << sink.all();
}

TEST_F(ParseRules, WriteHeaderAndWrite)
{
    const rule_case_t cases[] = {
        {"write_header\nwrite a", "Missing LABEL. Format should be 'write_header LABEL...'.", 1},
        {"write_header RES_XSCALE NOPE\nwrite a", "Invalid LABEL: NOPE", 1},
        {"write_header RES_OBJECT\nwrite a", "Invalid LABEL: RES_OBJECT (its value has no text form)", 1},
        {"write_header RES_XSCALE\nwrite_header RES_YSCALE\nwrite a",
         "Multiple 'write_header' calls made. Only one supported.", 2},
        {"write a\nwrite_header RES_XSCALE", "write_header does not preceed the first body command.", 2},
        {"write", "The 'write' command should be followed by a single tag for this write.", 1},
        {"write a b", "The 'write' command should be followed by a single tag for this write.", 1},
    };
    for (const rule_case_t& c : cases)
        check(c);

    Script script(sink, fakes.table);
    ASSERT_TRUE(script.ParseScript("write_header XSCALE RES_THICKNESS_A CURRENT_OBJECT\nwrite a", path("run.txt")));
    EXPECT_EQ(script.plan().labels, (std::vector<wxString>{"RES_XSCALE", "RES_THICKNESS_A", "CURRENT_OBJECT"}));
}

// Where the results go is fixed before the body; a name with a folder in it
// could write anywhere.
TEST_F(ParseRules, HeaderCommandsAndResultsNames)
{
    const rule_case_t cases[] = {
        {"write a\nscript_name r", "script_name does not preceed the first body command.", 2},
        {"func FILE_SAVE\nresults_dir .", "results_dir does not preceed the first body command.", 2},
        {"repeat 2\nopen .\nend", "open does not preceed the first body command.", 2},
        {"script_name a\nscript_name b\nwrite a", "Multiple 'script_name' calls made. Only one supported.", 2},
        {"results_dir .\nresults_dir .\nwrite a", "Multiple 'results_dir' calls made. Only one supported.", 2},
        {"script_name\nwrite a", "Missing name. Format should be 'script_name name'.", 1},
        {"script_name a b\nwrite a", "The results name must be a plain file name, without folders or blanks.", 1},
        {"script_name ../up\nwrite a", "The results name must be a plain file name, without folders or blanks.", 1},
        {"script_name sub/name\nwrite a", "The results name must be a plain file name, without folders or blanks.", 1},
        {"script_name \"a b\"\nwrite a", "The results name must be a plain file name, without folders or blanks.", 1},
        {"script_name ..\nwrite a", "The results name must be a plain file name, without folders or blanks.", 1},
        {"results_dir\nwrite a", "Missing directory. Format should be 'results_dir directory [sub-directory list]'.",
         1},
        {"open\nwrite a", "Missing directory. Format should be 'open directory [filter] [range]'.", 1},
        {"open . * 1 2\nwrite a", "Too many arguments. Format should be 'open directory [filter] [range]'.", 1},
        {"open /no/such/folder\nwrite a", "Directory path doesn't exist.", 1},
    };
    for (const rule_case_t& c : cases)
        check(c);
    check(
        {"script_name r\nresults_dir /no/such/folder\nwrite a", "Results directory doesn't exist: /no/such/folder", 2});
    // An unsaved script has no folder of its own to put results in.
    {
        Script unsaved(sink, fakes.table);
        sink.lines.clear();
        EXPECT_FALSE(unsaved.ParseScript("write a", wxString()));
        EXPECT_TRUE(
            sink.has(">> ERROR: The results folder is not known: name it with 'results_dir', or save the "
                     "script first."))
            << sink.all();
        EXPECT_TRUE(unsaved.ParseScript("results_dir " + dir + "\nwrite a", wxString())) << sink.all();
        EXPECT_EQ(unsaved.plan().results_name, "script_results");
    }
    ASSERT_TRUE(wxFileName::Mkdir(path("out/deeper"), wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL));
    Script script(sink, fakes.table);
    ASSERT_TRUE(script.ParseScript("results_dir out deeper\nscript_name r\nwrite a", path("run.txt"))) << sink.all();
    EXPECT_EQ(script.plan().results_dir, path("out/deeper"));
    EXPECT_EQ(script.plan().results_name, "r");
}

TEST_F(ParseRules, LoopRepeatEndAndClose)
{
    const rule_case_t cases[] = {
        {"loop\nloop\nend\nend", "Nested loops or repeats are not supported.", 2},
        {"repeat 2\nloop\nend", "Nested loops or repeats are not supported.", 2},
        {"loop\nrepeat 2\nend", "Nested loops or repeats are not supported.", 2},
        {"loop a* b*\nend", "Too many filters included: should only be one.", 1},
        {"write a\nloop\nwrite b", "Loops is missing an 'end'.", 2},
        {"repeat 3\nwrite b\nclose\nend", "Loops is missing an 'end'.", 1},
        {"end", "End command is not at end of loop or repeat.", 1},
        {"repeat 2\nend\nend", "End command is not at end of loop or repeat.", 3},
        {"repeat\nend", "Repeat must have a numerical argument.", 1},
        {"repeat two\nend", "Repeat must have a numerical argument.", 1},
        {"repeat 2.5\nend", "Repeat must have a numerical argument.", 1},
        {"repeat 1 2\nend", "Too many repeat arguments: should only be one.", 1},
        {"repeat -1\nend", "Repeat count must be from 0 to 1000000.", 1},
        {"repeat 1000001\nend", "Repeat count must be from 0 to 1000000.", 1},
        {"repeat 99999999999999999999999999\nend", "Repeat count must be from 0 to 1000000.", 1},
    };
    for (const rule_case_t& c : cases)
        check(c);

    // Nothing after 'close' is read, not even a line that would not parse.
    EXPECT_TRUE(parse_errors("write a\nclose\nbogus \"\nmore").empty()) << sink.all();
    EXPECT_TRUE(sink.has(script_messages_t::format("Close command has been reached.", 2, {})));
    EXPECT_FALSE(sink.has_containing("Parsing completed."));

    // The bounds themselves are allowed; a loop's filter defaults to all.
    Script script(sink, fakes.table);
    ASSERT_TRUE(script.ParseScript("repeat 0\nend\nrepeat 1000000\nfunc FILE_SAVE\nend\nloop\nend", path("run.txt")))
        << sink.all();
    EXPECT_EQ(script.plan().body[2].commands[0].words, (std::vector<wxString>{"loop", "*"}));
    EXPECT_TRUE(sink.has(">> Parsing completed."));
}

// Progress counts func commands, repeated ones once per repetition and a loop two more.
TEST_F(ParseRules, ProgressStepsPerFile)
{
    Script script(sink, fakes.table);
    ASSERT_TRUE(script.ParseScript(
        "func FILE_SAVE\nparam XSCALE 1\nrepeat 3\nfunc FILE_SAVE\nfunc FILE_SAVE\nwrite a\nend\nloop\nfunc "
        "SURFACE_ALL\nend",
        path("run.txt")));
    EXPECT_EQ(script.plan().steps_per_file, 1 + 3 * 2 + (2 + 1));
}

}  // namespace
