// Reads a script's text into a plan, line by line, applying the language's
// rules; the first broken rule is reported with its line and ends the parse.
// Paths in the script are taken from the script's own folder.
#pragma once

#include <wx/string.h>

#include "script_plan.h"

class script_function_table_t;
class script_messages_t;

class script_parser_t {
public:
    script_parser_t(script_messages_t& messages, const script_function_table_t& functions,
                    script_overrides_t overrides = {})
        : messages_(messages), functions_(functions), overrides_(std::move(overrides))
    {
    }

    // script_path: where the script is saved, empty when it is not. True when
    // the whole text read; *plan is complete only then.
    bool parse(const wxString& text, const wxString& script_path, script_plan_t* plan);

    static constexpr long max_repeat = 1000000;

private:
    // Each returns false after reporting the error.
    bool parse_line(const script_command_t& c);
    bool header_command(const script_command_t& c, bool* seen);
    bool script_name(const script_command_t& c);
    bool results_dir(const script_command_t& c);
    bool write_header(const script_command_t& c);
    bool open(const script_command_t& c);
    // The recordings of dir that the filter and range take, then the command line's range.
    bool list_files(const wxString& dir, const wxString& filter, const wxString& range, int line);
    bool func(script_command_t c);
    bool param(script_command_t c);
    bool write(const script_command_t& c);
    bool loop(script_command_t c);
    bool repeat(const script_command_t& c);
    bool end(const script_command_t& c);
    bool function_available(const wxString& name, int line);
    void add_body_command(script_command_t c);
    bool finish();
    bool results_safe();

    wxString absolute_file(const wxString& path) const;
    wxString absolute_dir(const wxString& path) const;
    bool error(const wxString& text, int line);

    script_messages_t& messages_;
    const script_function_table_t& functions_;
    script_overrides_t overrides_;
    script_plan_t* plan_ = nullptr;
    wxString script_path_, script_dir_;
    bool body_started_ = false, in_block_ = false, closed_ = false;
    bool seen_name_ = false, seen_dir_ = false, seen_header_ = false, seen_open_ = false;
    int block_line_ = 0, name_line_ = 0, dir_line_ = 0;
    wxString results_dir_given_;
};
