// kestrane-tool: file inspection, conversion and batch work without a display.
#include <cstdio>
#include <cstring>

#include <wx/init.h>
#include <wx/log.h>

#include "common/log_target.h"
#include "terminal_progress.h"
#include "tool_commands.h"

namespace {

void print_help(std::FILE* out)
{
    std::fprintf(out, "Usage: kestrane-tool COMMAND [ARGUMENTS]\n\nCommands:\n");
    for (const tool_command_t& c : tool_commands()) {
        const wxString head = wxString(c.name) + (c.usage[0] ? wxString(" ") + c.usage : wxString());
        std::fprintf(out, "  %-28s %s\n", head.utf8_str().data(), c.summary);
    }
    std::fprintf(out, "\nOptions:\n  %-28s %s\n  %-28s %s\n", "--help", "show this help", "--quiet",
                 "(after a command) show no progress; long commands otherwise show it on standard error, and "
                 "Ctrl-C stops them cleanly");
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
            bool quiet = false;
            for (int i = 2; i < argc; ++i) {
                if (std::strcmp(argv[i], "--quiet") == 0)
                    quiet = true;  // any command: no progress shown
                else
                    args.push_back(wxString::FromUTF8(argv[i]));
            }
            terminal_progress_t progress(quiet);
            const int status = c.run(args);
            // A Ctrl-C that came as the work ended stopped nothing: what it wrote is whole.
            if (!terminal_progress_t::stop_requested() || status == 0)
                return status;
            std::fprintf(stderr, "kestrane-tool %s: stopped; no file was left half-written.\n", c.name);
            return 130;  // as a shell reports an interrupted command
        }
    std::fprintf(stderr, "kestrane-tool: unknown command '%s'.\n\n", argv[1]);
    print_help(stderr);
    return 2;
}
