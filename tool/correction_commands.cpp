#include "correction_commands.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include <wx/filename.h>

#include "correction/auto_correction.h"
#include "correction/image_correlation.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "tool_session.h"

namespace {

// Whether two names reach the same file (through links too); a name that does not exist yet is no file.
bool same_file(const wxString& a, const wxString& b)
{
    std::error_code ec;
    const std::filesystem::path pa(static_cast<const char*>(a.fn_str())), pb(static_cast<const char*>(b.fn_str()));
    if (std::filesystem::exists(pb, ec))
        return std::filesystem::equivalent(pa, pb, ec);
    return std::filesystem::weakly_canonical(pa, ec) == std::filesystem::weakly_canonical(pb, ec);
}

int usage()
{
    std::fprintf(stderr, "Usage: kestrane-tool correct RECORDING.ks OUT.ks [--pressure] [--sweep N]\n");
    return 2;
}

}  // namespace

int run_correct(const std::vector<wxString>& args)
{
    if (args.size() < 2)
        return usage();
    bool pressure = false;
    long only = -1;
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "--pressure")
            pressure = true;
        else if (args[i] == "--sweep" && i + 1 < args.size() && args[i + 1].ToLong(&only) && only >= 0)
            ++i;
        else {
            std::fprintf(stderr, "kestrane-tool correct: bad option '%s'.\n", args[i].utf8_str().data());
            return 2;
        }
    }
    const wxString in = args[0], out = args[1];
    if (!wxFileName(out).GetExt().IsSameAs("ks", false)) {
        std::fprintf(stderr, "kestrane-tool correct: the output must be a .ks recording.\n");
        return 2;
    }
    // The input and its image data file are never written over.
    if (same_file(in, out) ||
        same_file(recording_io_t::image_file_name_for(in), recording_io_t::image_file_name_for(out))) {
        std::fprintf(stderr, "kestrane-tool correct: the output would write over the input; choose another name.\n");
        return 2;
    }
    tool_session_t tool;
    if (!recording_io->try_read_kestrane_file(in))
        return 1;
    const std::vector<std::pair<long, long>> sweeps = recording_sweeps();
    if (sweeps.empty()) {
        std::fprintf(stderr, "kestrane-tool correct: the recording holds no frames.\n");
        return 1;
    }
    if (only >= static_cast<long>(sweeps.size())) {
        std::fprintf(stderr, "kestrane-tool correct: the recording has %zu sweeps (0 to %zu).\n", sweeps.size(),
                     sweeps.size() - 1);
        return 2;
    }
    int failed = 0;
    for (std::size_t s = 0; s < sweeps.size(); ++s) {
        if (only >= 0 && static_cast<long>(s) != only)
            continue;
        const auto [a, b] = sweeps[s];
        double max_a = 0.0, max_b = 0.0;
        const auto run = correct_frames(a, b, pressure, true, &max_a, &max_b);
        if (!run->valid() || !run->apply()) {
            std::printf("sweep %zu (frames %ld to %ld): not corrected\n", s, a, b);
            ++failed;
            continue;
        }
        std::printf("sweep %zu (frames %ld to %ld): degree %ld, %.2f mm due to position correction", s, a, b,
                    run->degree(), max_a);
        if (pressure)
            std::printf(", %.2f mm due to pressure correction", max_b);
        std::printf("\n");
    }
    if (failed == static_cast<int>(only >= 0 ? 1 : sweeps.size()) && failed > 0)
        return 1;  // nothing corrected: nothing written
    if (!recording_io->save_as(out))
        return 1;
    return failed ? 1 : 0;
}
