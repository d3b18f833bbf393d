#include "tool_commands.h"

#include <cstdio>

const char* kestrane_version()
{
    return "6.02";
}

namespace {

int run_version(const std::vector<wxString>&)
{
    std::printf("kestrane-tool %s\n", kestrane_version());
    return 0;
}

}  // namespace

const std::vector<tool_command_t>& tool_commands()
{
    static const std::vector<tool_command_t> commands = {
        {"version", "", "print the program version", run_version},
    };
    return commands;
}
