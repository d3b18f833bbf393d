#include "script_commands.h"

#include <csignal>
#include <cstdio>

#include <wx/ffile.h>
#include <wx/filename.h>

#include "common/interaction.h"
#include "display/globcmap.h"
#include "reconstruction/view_script_functions.h"
#include "resources/safe_file.h"
#include "script/results_merge.h"
#include "script/script.h"
#include "script/script_files.h"
#include "segmentation/density_calibration.h"
#include "surfaces/surface_script_functions.h"
#include "surfaces/surface_sections.h"
#include "surfaces/voxel_script_functions.h"
#include "thickness/thickness_script_functions.h"
#include "tool_session.h"

namespace {

// The processes of a batch start together and all make the parts folder:
// one that finds it made by another between looking and making is content.
bool make_shared_folder(const wxString& path)
{
    wxLogNull quiet;
    return wxFileName::Mkdir(path, wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL) || wxFileName::DirExists(path);
}

int usage()
{
    std::fprintf(stderr,
                 "Usage: kestrane-tool run SCRIPT [DIR] [--files RANGE] [--results DIR] [--list] [--each PARTS]\n"
                 "  SCRIPT          the script's text file\n"
                 "  DIR             the folder of recordings to process instead of the script's 'open' folder\n"
                 "                  (or as if the script opened it)\n"
                 "  --files RANGE   only these numbers of the folder's list (\"1-10,15\"), each keeping its number\n"
                 "  --results DIR   where the results table and log go\n"
                 "  --list          print where the results table goes (\"# results PATH\") and the numbered\n"
                 "                  list of recordings the run would process, and stop\n"
                 "  --each PARTS    run each recording on its own, as a task of a batch: its table and log as\n"
                 "                  PARTS/N.txt and PARTS/N.log, its messages in PARTS/N.out and its exit status\n"
                 "                  in PARTS/N.status (N its file number); the next recording runs whatever the\n"
                 "                  last one did\n");
    return 2;
}

// Messages on standard output, warnings and errors on standard error, as they come.
// Every message of one task into its own file, as a batch keeps them.
struct file_sink_t : script_sink_t {
    wxFFile out;
    void write(const wxString& line, script_message_kind_t) override
    {
        if (out.IsOpened())
            out.Write(line + "\n", wxConvUTF8);
    }
};

struct console_sink_t : script_sink_t {
    bool quiet = false;
    void write(const wxString& line, script_message_kind_t kind) override
    {
        if (kind != script_message_kind_t::message)
            std::fprintf(stderr, "%s\n", line.utf8_str().data());
        else if (!quiet)
            std::printf("%s\n", line.utf8_str().data());
    }
};

// SIGTERM (a batch system ending a task) or SIGINT: stop after the current command, as Cancel does,
// so that what was gathered is still written.
volatile std::sig_atomic_t stop_requested = 0;

extern "C" void request_stop(int)
{
    stop_requested = 1;
}

struct stoppable_interaction_t : headless_interaction_t {
    bool progress_update(int, const wxString&) override { return !stop_requested; }
    bool progress_pulse(const wxString&) override { return !stop_requested; }
};

// --each: the listed recordings one after the other, each as its own run
// with its own table, log, messages and status, as one batch task each. A
// process start (mostly the dynamic linking of the window libraries) costs a
// third of a small recording's work, so a batch hands each process several.
// The parts lie side by side in one folder, and the tables and logs are not
// synced to disk: they are merged as soon as the batch ends, and on some
// disks each file made and synced costs a tenth of a small recording's work.
int run_each(Script& script, const wxString& text, const wxString& script_path, const wxString& parts)
{
    console_sink_t quiet;
    quiet.quiet = true;
    Script lister(quiet, script_functions());
    lister.set_overrides(script.overrides());
    if (!lister.ParseScript(text, script_path))
        return 1;
    // The folder listed once for all the tasks.
    script_overrides_t task_overrides = script.overrides();
    wxString why;
    if (!lister.plan().open_dir.empty() &&
        list_recordings(lister.plan().open_dir, &task_overrides.listed_names, &why))
        task_overrides.listed_dir = lister.plan().open_dir;
    if (!make_shared_folder(parts)) {
        std::fprintf(stderr, "kestrane-tool run: cannot make %s.\n", parts.utf8_str().data());
        return 1;
    }
    bool all_ok = true;
    for (const script_file_t& f : lister.plan().files) {
        if (stop_requested)
            break;  // those left get no status: the batch reports them
        const wxString number = wxString::Format("%ld", f.number);
        file_sink_t sink;
        bool ok = sink.out.Open(parts + wxFILE_SEP_PATH + number + ".out", "wb");
        if (ok) {
            Script task(sink, script_functions());
            script_overrides_t overrides = task_overrides;
            overrides.files = number;
            overrides.results_dir = parts;
            overrides.part_name = number;
            task.set_overrides(overrides);
            ok = task.Run(text, script_path) && !stop_requested;
            sink.out.Close();
        }
        wxFFile status(parts + wxFILE_SEP_PATH + number + ".status", "wb");
        ok = status.IsOpened() && status.Write(wxString(ok ? "0\n" : "1\n")) && ok;
        all_ok = all_ok && ok;
    }
    return all_ok && !stop_requested ? 0 : 1;
}

wxString absolute(const wxString& path)
{
    wxFileName name(path);
    name.MakeAbsolute();
    return name.GetFullPath();
}

}  // namespace

int run_script(const std::vector<wxString>& args)
{
    if (args.empty())
        return usage();
    wxString script_path, dir, files, results, each;
    bool list = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool has_value = i + 1 < args.size();
        if (args[i] == "--list") {
            list = true;
        } else if (args[i] == "--files" && has_value) {
            files = args[++i];
        } else if (args[i] == "--results" && has_value) {
            results = absolute(args[++i]);
        } else if (args[i] == "--each" && has_value) {
            each = absolute(args[++i]);
        } else if (!args[i].StartsWith("--") && script_path.empty()) {
            script_path = absolute(args[i]);
        } else if (!args[i].StartsWith("--") && dir.empty()) {
            dir = absolute(args[i]);
        } else {
            std::fprintf(stderr, "kestrane-tool run: bad option '%s'.\n", args[i].utf8_str().data());
            return usage();
        }
    }
    wxFFile file;
    wxString text;
    {
        wxLogNull quiet;
        if (!wxFileName::FileExists(script_path) || !file.Open(script_path, "rb") || !file.ReadAll(&text)) {
            std::fprintf(stderr, "kestrane-tool run: cannot read the script %s.\n", script_path.utf8_str().data());
            return 1;
        }
    }

    tool_session_t tool;
    globcmap_t cmap;  // saved views go through the colour map, as on screen
    colourmap = &cmap;
    struct unset_t {
        ~unset_t() { colourmap = nullptr; }
    } unset;
    script_function_table_t& functions = script_functions();
    register_thickness_functions(functions);
    register_voxel_functions(functions);
    register_surface_functions(functions);
    register_density_functions(functions);
    register_view_functions(functions, source_with_surfaces_from_session);
    functions.set_display_available(false);  // functions that draw into the program's views cannot run here
    console_sink_t sink;
    stoppable_interaction_t interaction;
    interaction_t* const previous = set_interaction(&interaction);
    stop_requested = 0;
    std::signal(SIGTERM, request_stop);
    std::signal(SIGINT, request_stop);
    struct restore_t {
        interaction_t* previous;
        ~restore_t()
        {
            std::signal(SIGTERM, SIG_DFL);
            std::signal(SIGINT, SIG_DFL);
            set_interaction(previous);
        }
    } restore{previous};
    Script script(sink, functions);
    script_overrides_t overrides;
    overrides.open_dir = dir;
    overrides.files = files;
    overrides.results_dir = results;
    script.set_overrides(overrides);
    if (list) {
        sink.quiet = true;
        if (!script.ParseScript(text, script_path))
            return 1;
        // Where the table goes, for batch runs that gather the parts there.
        std::printf(
            "# results %s\n",
            script_results_t::table_path(script.plan().results_dir, script.plan().table_name).utf8_str().data());
        for (const script_file_t& f : script.plan().files)
            std::printf("%ld\t%s\n", f.number, f.path.utf8_str().data());
        if (script.plan().files.empty())
            std::printf("(the open recording)\n");
        return 0;
    }
    if (!each.empty())
        return run_each(script, text, script_path, each);
    const bool ok = script.Run(text, script_path);
    if (stop_requested)
        std::fprintf(stderr, "kestrane-tool run: stopped by a signal after the command in progress.\n");
    return ok && !stop_requested ? 0 : 1;
}

int run_merge_results(const std::vector<wxString>& args)
{
    if (args.size() < 2) {
        std::fprintf(stderr, "Usage: kestrane-tool merge-results OUT.txt PART.txt...\n");
        return 2;
    }
    std::vector<std::string> parts;
    for (std::size_t i = 1; i < args.size(); ++i) {
        wxFFile file;
        wxString text;
        wxLogNull quiet;
        if (!file.Open(args[i], "rb") || !file.ReadAll(&text, wxConvUTF8)) {
            std::fprintf(stderr, "kestrane-tool merge-results: cannot read %s.\n", args[i].utf8_str().data());
            return 1;
        }
        parts.emplace_back(text.utf8_str().data());
    }
    std::string merged, why;
    if (!merge_result_tables(parts, &merged, &why)) {
        std::fprintf(stderr, "kestrane-tool merge-results: %s.\n", why.c_str());
        return 1;
    }
    safe_file_t out(args[0]);
    if (!out.write(merged.data(), merged.size()) || !out.finish() || !out.commit()) {
        std::fprintf(stderr, "kestrane-tool merge-results: cannot write %s: %s\n", args[0].utf8_str().data(),
                     out.error_text().utf8_str().data());
        return 1;
    }
    return 0;
}
