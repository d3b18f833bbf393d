// Subcommands of kestrane-tool, the headless command-line companion of the
// program: each is a name, a one-line summary and a function over its
// arguments that returns the process exit code.
#pragma once

#include <vector>

#include <wx/string.h>

struct tool_command_t {
    const char* name;
    const char* usage;    // arguments, e.g. "FILE.ks"
    const char* summary;  // one line for --help
    int (*run)(const std::vector<wxString>& args);
};

const std::vector<tool_command_t>& tool_commands();
const char* kestrane_version();
