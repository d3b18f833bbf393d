#include "density_commands.h"

#include <cstdio>

#include "resources/recording_file.h"
#include "segmentation/density_calibration.h"
#include "tool_session.h"

int run_density_calibrate(const std::vector<wxString>& args)
{
    const bool save = args.size() == 2 && args[1] == "--save";
    if (args.empty() || (args.size() > 1 && !save)) {
        std::fprintf(
            stderr,
            "Usage: kestrane-tool density-calibrate FILE.ks [--save]\n"
            "  fits the bone-density scale and offset to the phantom's inserts (objects named by their\n"
            "  density in mg/cm^3, outlined on the CT frames) and prints them; --save keeps them in FILE.ks\n");
        return 2;
    }
    tool_session_t tool;
    if (!recording_io->try_read_kestrane_file(args[0]))
        return 1;
    const density_fit_t fit = measure_density_phantom();
    std::fprintf(fit.ok ? stdout : stderr, "%s\n", density_fit_text(fit).utf8_str().data());
    if (!fit.ok)
        return 1;
    if (save && (!apply_density_fit(fit) || !recording_io->try_write_kestrane_file(args[0]))) {
        std::fprintf(stderr, "kestrane-tool density-calibrate: %s was not saved.\n", args[0].utf8_str().data());
        return 1;
    }
    return 0;
}
