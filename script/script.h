// The script interpreter: parses a script's text, then runs its body on the
// open recording or once on each recording 'open' lists (each from the same
// clean state), collecting a results table and a log beside each other.
// The Scripts page, the command line and the tool share it, each with a sink
// of its own for the messages. A run is synchronous and never waits on a
// person; its progress and Cancel go through the interaction in force.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <wx/string.h>

#include "common/functor.h"
#include "resource_snapshot.h"
#include "script_functions.h"
#include "script_messages.h"
#include "script_plan.h"
#include "script_results.h"

class script_run_guard_t;

class Script {
public:
    explicit Script(script_sink_t& sink, script_function_table_t& functions = script_functions());
    ~Script();
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    // Parses and runs `text`. script_path is where the script is saved (empty
    // when it is not): relative paths and the default results folder are
    // taken from its folder. True when every stage succeeded.
    bool Run(const wxString& text, const wxString& script_path);

    // Parsing alone (the run's first stage), to check a script or list its
    // files: true when the text reads, and plan() then holds it.
    bool ParseScript(const wxString& text, const wxString& script_path);
    const script_plan_t& plan() const { return plan_; }
    // What the command line changes of the scripts parsed from now on.
    void set_overrides(script_overrides_t overrides) { overrides_ = std::move(overrides); }
    const script_overrides_t& overrides() const { return overrides_; }

    void WriteMessage(const wxString& text, int line = 0) { messages_.WriteMessage(text, line); }
    void WriteWarning(const wxString& text, int line = 0) { messages_.WriteWarning(text, line); }
    void WriteError(const wxString& text, int line = 0) { messages_.WriteError(text, line); }
    bool ok() const { return messages_.ok(); }

    static constexpr const char* unset_text = "INITIAL_STATE";
    static constexpr const char* no_surface_text = "(none)";

private:
    bool RunScript();
    bool RunBody();
    bool RunCommand(const script_command_t& c);
    bool RunLoop(const script_block_t& block);
    bool RunRepeat(const script_block_t& block);
    bool RunFuncCommand(const wxString& name, const std::vector<wxString>& args, int line);
    bool RunParamCommand(const script_command_t& c);
    bool RunWriteCommand(const wxString& tag, int line);
    bool WriteResults();
    void ReturnToInitial();
    void Reset(bool starting);

    // A function's call with what it logged; nothing said about it yet.
    script_result_t call_function(const wxString& name, const std::vector<wxString>& args);
    // What the program logged since the last look, as the script's messages.
    void report_logged(int line);
    // Between commands: the progress shown, and a Cancel noticed.
    void command_done();
    void ScriptMessageChanged();

    script_messages_t messages_;
    script_function_table_t& functions_;
    script_plan_t plan_;
    script_overrides_t overrides_;
    script_results_t results_;
    resource_snapshot_t snapshot_;
    script_run_guard_t* guard_ = nullptr;  // set while running
    pmf_functor<Script> message_proc_;

    long current_file_ = 0;  // its number in the list; 0 for the open recording
    wxString current_surface_ = no_surface_text;
    int current_line_ = 0;
    bool file_open_ = false;   // a listed file is open and not yet closed
    bool opened_any_ = false;  // this run has opened a listed file
    bool cancelled_ = false;
    std::int64_t steps_done_ = 0, steps_total_ = 1;
    int progress_range_ = 1;
};
