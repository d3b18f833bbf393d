// kestrane-tool: file inspection, conversion and batch work without a display.
#include <cstdio>
#include <cstring>

#include <wx/init.h>
#include <wx/log.h>

#include "common/log_target.h"
#include "tool_commands.h"

namespace {

void print_help(std::FILE* out)
{
    std::fprintf(out, "Usage: kestrane-tool COMMAND [ARGUMENTS]\n\nCommands:\n");
    for (const tool_command_t& c : tool_commands()) {
        const wxString head = wxString(c.name) + (c.usage[0] ? wxString(" ") + c.usage : wxString());
        std::fprintf(out, "  %-28s %s\n", head.utf8_str().data(), c.summary);
    }
    std::fprintf(out, "\nOptions:\n  %-28s %s\n", "--help", "show this help");
}

}  // namespace

int main(int argc, char** argv)
{
    wxInitializer wx;
    if (!wx.IsOk()) {
        std::fprintf(stderr, "kestrane-tool: could not initialise the wx library.\n");
        return 2;
    }
    wxLog::SetActiveTarget(new stderr_log_t);  // wxLog owns it
    wxLog::SetLogLevel(wxLOG_Message);
    if (argc < 2) {
        print_help(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        print_help(stdout);
        return 0;
    }
    for (const tool_command_t& c : tool_commands())
        if (std::strcmp(argv[1], c.name) == 0) {
            std::vector<wxString> args;
            for (int i = 2; i < argc; ++i)
                args.push_back(wxString::FromUTF8(argv[i]));
            return c.run(args);
        }
    std::fprintf(stderr, "kestrane-tool: unknown command '%s'.\n\n", argv[1]);
    print_help(stderr);
    return 2;
}
