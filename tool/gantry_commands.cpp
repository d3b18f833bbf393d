#include "gantry_commands.h"

#include <cstdio>

#include <wx/filename.h>

#include "devices/zaber_gantry.h"
#include "resources/value_text.h"
#include "tool_session.h"

namespace {

void print_errors(const wxString& file, const std::vector<zsq_error_t>& errors)
{
    for (const zsq_error_t& e : errors)
        std::fprintf(stderr, "%s:%ld: %s\n", file.utf8_str().data(), e.line, e.reason.c_str());
}

void print_positions(const char* label, const zaberGantry& g)
{
    std::printf("%s (%.6f, %.6f, %.6f) cm\n", label, g.positions()[0], g.positions()[1], g.positions()[2]);
    std::fflush(stdout);
}

}  // namespace

int run_zsq_check(const std::vector<wxString>& args)
{
    if (args.size() != 1) {
        std::fprintf(stderr, "Usage: kestrane-tool zsq-check FILE.zsq\n");
        return 2;
    }
    if (!wxFileName::FileExists(args[0])) {
        std::fprintf(stderr, "kestrane-tool zsq-check: cannot read '%s'.\n", args[0].utf8_str().data());
        return 1;
    }
    cmdSequence sequence;
    std::vector<zsq_error_t> errors;
    if (!sequence.loadFile(args[0], &errors)) {
        print_errors(args[0], errors);
        return 1;
    }
    std::printf("%ld steps\n", sequence.steps());
    return 0;
}

int run_zsq_run(const std::vector<wxString>& args)
{
    long steps = -1;
    std::vector<wxString> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::int64_t n = 0;
        if (args[i] == "--steps") {
            if (i + 1 >= args.size() || !value_text::parse_long(args[i + 1], &n) || n < 0) {
                std::fprintf(stderr, "kestrane-tool zsq-run: --steps needs a whole number of 0 or more.\n");
                return 2;
            }
            steps = static_cast<long>(n);
            ++i;
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2) {
        std::fprintf(stderr, "Usage: kestrane-tool zsq-run PORT FILE.zsq [--steps N]\n");
        return 2;
    }
    const wxString& file = positional[1];
    if (!wxFileName::FileExists(file)) {
        std::fprintf(stderr, "kestrane-tool zsq-run: cannot read '%s'.\n", file.utf8_str().data());
        return 1;
    }

    tool_session_t tool_session;
    zaberGantry gantry;
    std::vector<zsq_error_t> errors;
    if (!gantry.loadSeq(file, &errors)) {
        print_errors(file, errors);
        return 1;
    }
    res->RES_ZABER_PORT->write(positional[0]);
    if (!gantry.initialise())
        return 1;
    print_positions("homed at", gantry);

    const long total = res->RES_ZABER_SEQ_STEPS->value();
    bool more = true;
    while (more && (steps < 0 || res->RES_ZABER_CURRENT_STEP->value() < steps)) {
        more = gantry.runNextSeqStep();
        char label[64];
        std::snprintf(label, sizeof label, more ? "step %ld at" : "end at", res->RES_ZABER_CURRENT_STEP->value());
        print_positions(label, gantry);
    }
    std::printf("Completed %li of %li steps\n", res->RES_ZABER_CURRENT_STEP->value(), total);
    return 0;
}
