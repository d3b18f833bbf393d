// What parsing a script gives the interpreter: the body as blocks of
// commands, the files to process and where the results go.
#pragma once

#include <cstdint>
#include <vector>

#include <wx/string.h>

#include "script_files.h"

struct script_command_t {
    int line = 0;                 // in the script text, from 1
    std::vector<wxString> words;  // the command, then its arguments
};

// A plain command is a block of one; a loop or repeat block is its header
// followed by the commands up to its 'end'.
struct script_block_t {
    std::vector<script_command_t> commands;
    const wxString& kind() const { return commands.front().words.front(); }
};

// What a run from the command line changes of a script: the folder its
// 'open' lists (or lists when it has none), a further range of that list's
// numbers, and the results folder. A batch running many tasks in one process
// may hand over the folder's recordings as listed once (listed_dir and its
// names), so that each task does not list the folder again, and name each
// task's table and log as a part of the batch's (part_name).
struct script_overrides_t {
    wxString open_dir, files, results_dir;
    wxString part_name;
    wxString listed_dir;
    std::vector<wxString> listed_names;
};

struct script_plan_t {
    std::vector<script_block_t> body;
    std::vector<script_file_t> files;  // empty: the open recording is processed
    wxString open_dir;                 // the 'open' folder, when given
    std::vector<wxString> labels;      // write_header's resources
    wxString results_dir, results_name;
    // The table's and log's file name (no extension): the results name, or a
    // batch task's part name. Parts are merged at once, so not synced to disk.
    wxString table_name;
    bool part = false;
    std::int64_t steps_per_file = 0;  // progress steps: func commands, a loop counting two more
    bool closed = false;              // 'close' ended the text
};
