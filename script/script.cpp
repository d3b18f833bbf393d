#include "script.h"

#include <algorithm>
#include <climits>

#include <wx/filename.h>

#include "common/dynabuf.h"
#include "resource_rules.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "script_parser.h"
#include "script_run_guard.h"

namespace {

wxString joined(const std::vector<wxString>& words, std::size_t first = 0)
{
    wxString out;
    for (std::size_t i = first; i < words.size(); ++i)
        out << (i > first ? " " : "") << words[i];
    return out;
}

// The name an object's surface goes by in the results: the object's own.
wxString object_name(long object)
{
    if (!res || !res->RES_OBJECT->value() || object < 0 || object >= object_table::size)
        return wxString::Format("%ld", object);
    return (*res->RES_OBJECT->value())[static_cast<int>(object)].name;
}

}  // namespace

Script::Script(script_sink_t& sink, script_function_table_t& functions)
    : messages_(sink), functions_(functions), message_proc_(this, &Script::ScriptMessageChanged)
{
}

Script::~Script() = default;

// ---------------------------------------------------------------- the run

bool Script::Run(const wxString& text, const wxString& script_path)
{
    if (!res) {
        messages_.reset();
        WriteError("There is no program state to run a script in.");
        return false;
    }
    if (res->RES_IN_SCRIPT->value()) {
        WriteError("A script is already running.");
        return false;
    }
    Reset(true);
    script_run_guard_t guard([this](const wxString& note) { WriteMessage(note, current_line_); });
    guard_ = &guard;
    snapshot_.take();
    functions_.save_states();
    res->RES_SCRIPT_WRITE_MESSAGE->add_proc(&message_proc_);

    if (ParseScript(text, script_path)) {
        if (plan_.files.empty())
            WriteMessage("Processing currently open file.");
        else
            WriteMessage(wxString::Format("There are %zu ks files to process.", plan_.files.size()));
        res->RES_SCRIPT_RESULTS_DIR->write(plan_.results_dir);
        res->RES_SCRIPT_RESULTS_NAME->write(plan_.results_name);
        wxString why;
        if (!results_.open(plan_.results_dir, plan_.table_name, plan_.labels, !plan_.part, &why)) {
            WriteError("Unable to write the results: " + why);
        } else {
            messages_.start_log([this](const wxString& line) { results_.add_log_line(line); });
            steps_total_ = std::max<std::int64_t>(1, plan_.steps_per_file) *
                           std::max<std::int64_t>(1, static_cast<std::int64_t>(plan_.files.size()));
            progress_range_ = static_cast<int>(std::min<std::int64_t>(steps_total_, INT_MAX));
            guard.outer().progress_begin("Running script", "Currently running script", progress_range_);
            RunScript();
            guard.outer().progress_end();
            WriteResults();
        }
    }

    // Settings and kept values as they were; with files listed, then a new
    // recording with the user's values, as before a cohort run.
    snapshot_.restore_settings_and_kept();
    if (opened_any_ || file_open_) {
        ReturnToInitial();
        functions_.restore_states(true);  // the views of the data gone start afresh too
    }
    report_logged(0);
    res->RES_SCRIPT_WRITE_MESSAGE->remove_worry(&message_proc_);
    guard_ = nullptr;
    const bool succeeded = ok();
    Reset(false);
    return succeeded;
}

bool Script::ParseScript(const wxString& text, const wxString& script_path)
{
    if (!guard_)
        messages_.reset();  // a check on its own, not a run's first stage
    script_parser_t parser(messages_, functions_, overrides_);
    if (!parser.parse(text, script_path, &plan_)) {
        plan_ = script_plan_t{};
        return false;
    }
    return true;
}

bool Script::RunScript()
{
    WriteMessage("Begin running script");
    if (plan_.files.empty()) {
        current_file_ = 0;
        return RunBody();
    }
    for (const script_file_t& file : plan_.files) {
        // Every file from the same values, whatever the files before it held or set.
        snapshot_.restore_all();
        functions_.restore_states(true);
        report_logged(0);
        command_done();
        if (!ok())
            break;
        current_file_ = file.number;
        current_surface_ = no_surface_text;
        current_line_ = 0;
        file_open_ = opened_any_ = true;
        const script_result_t opened = call_function("FILE_OPEN", {file.path});
        if (!opened.ok) {
            WriteError("Failed opening file: " + file.path +
                       (opened.message.empty() ? "" : " (" + opened.message + ")"));
            report_logged(0);
            ReturnToInitial();
            break;
        }
        report_logged(0);
        WriteMessage("Opened file: " + file.path);
        RunBody();
        ReturnToInitial();
        if (!ok()) {
            if (!cancelled_)
                WriteError("Failed to run body, returning to original state.");
            break;
        }
    }
    return ok();
}

bool Script::RunBody()
{
    WriteMessage("Begin processing script body.");
    for (const script_block_t& block : plan_.body) {
        const wxString& kind = block.kind();
        if (kind == "loop")
            RunLoop(block);
        else if (kind == "repeat")
            RunRepeat(block);
        else if (block.commands.size() == 1 && (kind == "func" || kind == "param" || kind == "write"))
            RunCommand(block.commands.front());
        else
            WriteError("Unrecognised or empty command: " + kind, block.commands.front().line);
        if (!ok())
            break;
    }
    return ok();
}

bool Script::RunCommand(const script_command_t& c)
{
    current_line_ = c.line;
    const wxString& command = c.words.front();
    if (command == "func")
        RunFuncCommand(c.words[1], std::vector<wxString>(c.words.begin() + 2, c.words.end()), c.line);
    else if (command == "param")
        RunParamCommand(c);
    else if (command == "write")
        RunWriteCommand(c.words[1], c.line);
    else
        WriteWarning("Command '" + command + "' is not implemented and will be ignored.", c.line);
    report_logged(c.line);
    command_done();
    return ok();
}

bool Script::RunLoop(const script_block_t& block)
{
    const script_command_t& header = block.commands.front();
    WriteMessage("Executing loop commands", header.line);
    if (header.words.size() != 2 || header.words[0] != "loop") {
        WriteError("Loop command missing or invalid length.", header.line);
        return false;
    }
    const wxString& filter = header.words[1];
    // The objects are chosen before the body runs: it may build or drop surfaces.
    std::vector<long> objects;
    if (res->RES_OBJECT->value())
        for (long k = 0; k < object_table::size; ++k)
            if (res->RES_SURFACE[static_cast<std::size_t>(k)]->value() && wxMatchWild(filter, object_name(k), false))
                objects.push_back(k);
    if (objects.empty())
        WriteWarning("No object surface matches '" + filter + "'.", header.line);
    for (const long k : objects) {
        current_line_ = header.line;
        const std::vector<wxString> object = {wxString::Format("%ld", k)};
        if (!RunFuncCommand("CURRENT_OBJECT", object, header.line) ||
            !RunFuncCommand("THICKNESS_SURFACE", object, header.line))
            return false;
        current_surface_ = object_name(k);
        command_done();
        for (std::size_t i = 1; i < block.commands.size() && ok(); ++i)
            RunCommand(block.commands[i]);
        if (!ok())
            return false;
    }
    return ok();
}

bool Script::RunRepeat(const script_block_t& block)
{
    const script_command_t& header = block.commands.front();
    WriteMessage("Executing repeat commands", header.line);
    if (header.words.size() != 2 || header.words[0] != "repeat") {
        WriteError("Repeat command missing or invalid length.", header.line);
        return false;
    }
    long count = 0;
    if (!header.words[1].ToLong(&count) || count < 0 || count > script_parser_t::max_repeat) {
        WriteError("Repeat number is not an integer.", header.line);
        return false;
    }
    for (long n = 0; n < count && ok(); ++n)
        for (std::size_t i = 1; i < block.commands.size() && ok(); ++i)
            RunCommand(block.commands[i]);
    return ok();
}

// ---------------------------------------------------------------- commands

script_result_t Script::call_function(const wxString& name, const std::vector<wxString>& args)
{
    const script_function_t* f = functions_.find(name);
    if (!f || !f->call)
        return {false, "Function " + name + " is not available in this version."};
    res->RES_SCRIPT_FUNC_ARG->write(joined(args));
    return f->call(args);
}

bool Script::RunFuncCommand(const wxString& name, const std::vector<wxString>& args, int line)
{
    current_line_ = line;
    const script_result_t result = call_function(name, args);
    ++steps_done_;
    if (!result.ok) {
        WriteError("Function " + name + " failed" + (result.message.empty() ? "." : ": " + result.message), line);
        report_logged(line);
        return false;
    }
    report_logged(line);
    WriteMessage(result.message.empty() ? "Function " + name + " completed." : name + ": " + result.message, line);
    if (name == "THICKNESS_SURFACE") {
        long object = 0;
        current_surface_ = args[0].ToLong(&object) ? object_name(object) : args[0];
    }
    return true;
}

bool Script::RunParamCommand(const script_command_t& c)
{
    base_res_t* r = base_res_t::find_named_resource(c.words[1]);
    if (!r) {
        WriteError(c.words[1] + " is invalid: it does not match any existing LABEL.", c.line);
        return false;
    }
    // The frames held were read with their geometry; changing it under them would misread every frame.
    if (is_frame_geometry(*r) && bufp && bufp->frames() > 0) {
        WriteError(c.words[1] + " cannot be changed while frames are held.", c.line);
        return false;
    }
    const wxString line = c.words[1] + " " + joined(c.words, 2);
    if (!base_res_t::parse_no_changeprocs(line, RES_MASK_ALL)) {
        base_res_t::cancel_all_pending_changes();
        WriteError("Unable to load resource label value pair: " + line, c.line);
        return false;
    }
    base_res_t::make_pending_writes_happen();
    WriteMessage("Set resource: " + line, c.line);
    return true;
}

bool Script::RunWriteCommand(const wxString& tag, int line)
{
    const wxFileName recording = res->RES_ASCII_FILENAME->value();
    std::vector<wxString> fields = {wxString::Format("%ld", current_file_), recording.GetFullPath(),
                                    recording.GetName() + "_" + plan_.results_name + "_" + tag, current_surface_};
    for (const wxString& label : plan_.labels) {
        const base_res_t* r = base_res_t::find_named_resource(label);
        fields.push_back(r && r->has_text_form() ? r->get_value_as_string() : wxString());
    }
    if (!results_.add_row(fields)) {
        WriteError("Unable to write to the results file.", line);
        return false;
    }
    return true;
}

bool Script::WriteResults()
{
    const wxString table_name = plan_.results_name + ".txt";
    WriteMessage("Writing results to file '" + table_name + "' in results directory.");
    wxString why;
    if (!results_.commit_table(&why))
        WriteError("Unable to write results to file '" + table_name + "': " + why);
    // The log says the run succeeded only if it did, and the pane only once the log is written.
    const wxString success = "Successfully completed script.";
    if (ok())
        messages_.log_only(script_messages_t::format(success, 0, script_message_kind_t::message));
    messages_.stop_log();
    if (!results_.commit_log(&why)) {
        WriteError("Unable to write to results log file");
        WriteMessage(why);
        return false;
    }
    if (ok())
        messages_.sink_only(script_messages_t::format(success, 0, script_message_kind_t::message),
                            script_message_kind_t::message);
    return ok();
}

void Script::ReturnToInitial()
{
    file_open_ = false;
    current_surface_ = no_surface_text;
    if (!functions_.find("FILE_CLOSE") || !functions_.find("FILE_CLOSE")->call)
        return;
    const script_result_t closed = call_function("FILE_CLOSE", {});
    if (!closed.ok)
        WriteError("Function FILE_CLOSE failed" + (closed.message.empty() ? "." : ": " + closed.message));
}

void Script::Reset(bool starting)
{
    if (starting) {
        if (file_open_)
            ReturnToInitial();
        messages_.reset();
        plan_ = script_plan_t{};
        results_.discard();
        snapshot_.clear();
        current_file_ = 0;
        current_surface_ = no_surface_text;
        current_line_ = 0;
        opened_any_ = false;
        steps_done_ = 0;
        cancelled_ = false;
        steps_total_ = progress_range_ = 1;
    }
    res->RES_IN_SCRIPT->write(starting);
    for (wxString_res_t* r : {res->RES_SCRIPT_RESULTS_DIR, res->RES_SCRIPT_RESULTS_NAME, res->RES_SCRIPT_FUNC_ARG})
        r->write(unset_text);
}

// ---------------------------------------------------------------- between commands

void Script::report_logged(int line)
{
    if (!guard_)
        return;
    for (const auto& [level, text] : guard_->take_logged()) {
        if (level <= wxLOG_Error && !ok())
            WriteError(text, line);
        else
            WriteWarning(text, line);
    }
}

void Script::command_done()
{
    if (!guard_ || cancelled_)
        return;
    const double share = std::min(1.0, static_cast<double>(steps_done_) / static_cast<double>(steps_total_));
    const int value = static_cast<int>(share * progress_range_);
    if (!guard_->outer().progress_update(value, "Currently running script")) {
        cancelled_ = true;
        WriteError("Cancelled by user from the progress dialog.");
    }
}

void Script::ScriptMessageChanged()
{
    const wxString text = res->RES_SCRIPT_WRITE_MESSAGE->value();
    wxString rest;
    if (text.StartsWith("ERROR", &rest))
        WriteError(rest.Strip(wxString::leading), current_line_);
    else
        WriteMessage(text, current_line_);
}
