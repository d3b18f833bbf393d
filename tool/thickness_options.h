// The options of kestrane-tool thickness. Those that are thickness settings
// are applied to the settings only after the template and the input (which
// may be a recording with settings of its own) are loaded, in the order
// given, so the command line has the last word.
#pragma once

#include <functional>
#include <vector>

#include <wx/string.h>

struct thickness_options_t {
    long series = -1, threads = 0;
    bool overwrite = false, estimate = false, create = false, dump_profiles = false;
    bool plots_png = false, plots_csv = false;
    long profile_point = -1;  // --profile K: plot this point's profile
    wxString alternate, template_path;
    std::vector<std::function<void()>> settings;  // writes to RES_THICKNESS_..., in order
};

// False, with the reason on stderr, for an option it does not know or a bad value.
bool parse_thickness_options(const std::vector<wxString>& args, std::size_t first, thickness_options_t* options);

// The options' lines of the usage text.
const char* thickness_options_usage();
