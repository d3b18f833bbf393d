// libFuzzer harness: the cortex fit on arbitrary profiles and settings:
// no crash, no hang (MINPACK's evaluations are bounded), and a result that
// is either "none" or finite throughout; the result files' reader on
// arbitrary file contents and point counts.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <unistd.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/init.h>
#include <wx/log.h>

#include "thickness/point_fit.h"
#include "thickness/profile_fit.h"
#include "thickness/thickness_results.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    wxLog::EnableLogging(false);
    if (size < 4)
        return 0;
    const std::uint8_t flags = data[0];
    if (flags & 0x80) {
        // The reader: every file of a base gets these bytes; the point count from the next byte.
        const wxString base = wxFileName::GetTempDir() + wxString::Format("/ks_thickness_fuzz_%d", int(getpid()));
        for (const wxString& name : thickness_file_names(base))
            std::ofstream(name.ToStdString(), std::ios::binary)
                .write(reinterpret_cast<const char*>(data + 2), std::streamsize(size - 2));
        thickness_results_t r;
        if (load_thickness(base, data[1], &r))
            for (const auto& v : r.values)
                for (double x : v)
                    if (!std::isfinite(x))
                        std::abort();
        for (const wxString& name : thickness_file_names(base))
            wxRemoveFile(name);
        return 0;
    }
    profile_t p;
    for (std::size_t i = 2; i + 1 < size && p.values.size() < 256; i += 2) {
        const std::int16_t v = std::int16_t(data[i] | data[i + 1] << 8);
        p.values.push_back(double(v));
        p.valid.push_back((v & 7) != 7);
    }
    fit_setup_t s;
    const double level = double(std::int8_t(data[1])) * 20.0;
    if (flags & 1)
        s.sigma = 0.5 + (data[1] & 15);
    if (flags & 2)
        s.a = level;
    if (flags & 4)
        s.b = level + 1000.0;
    if (flags & 8)
        s.c = level + 100.0;
    s.inner_edge = !(flags & 16);
    s.recentre = !(flags & 32);
    s.endo = flags & 64;
    s.metal = data[1] & 0x40;
    s.keep_stage = true;
    const fit_result_t r = fit_profile(p, s);
    if (r.ok) {
        const cortex_t& m = r.cortex;
        for (double v : {m.a, m.b, m.c, m.outer, m.inner, m.sigma, m.endo, m.metal, r.cost})
            if (!std::isfinite(v))
                std::abort();
        if (m.metal_side != 0 && m.metal < 3000.0 - 10.0)
            std::abort();  // held above metal's floor (a soft barrier: 10^5 at 5 HU below)
        const double t = threshold_thickness(p, m);
        if (t != thickness_unknown && !(t > 0.0 && std::isfinite(t)))
            std::abort();
        cortex_t levels = m;
        if (refit_levels(p, r.stage.weights, m.sigma, &levels) && !std::isfinite(levels.b))
            std::abort();
    }
    if (r.evaluations > 60 * 9 + 8)
        std::abort();  // bounded work whatever the profile
    return 0;
}
