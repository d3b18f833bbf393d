#include "profile_dump.h"

#include <cmath>
#include <cstdio>

#include <wx/log.h>

#include "resources/safe_file.h"

namespace {

// JSON has no infinities or NaN: null stands for them.
void number(std::string* out, double v)
{
    if (!std::isfinite(v)) {
        *out += "null";
        return;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    *out += text;
}

template <class T>
void array(std::string* out, const char* key, const std::vector<T>& values)
{
    *out += ",\"";
    *out += key;
    *out += "\":[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i)
            *out += ',';
        number(out, double(values[i]));
    }
    *out += ']';
}

void model(std::string* out, const cortex_t& m)
{
    const std::pair<const char*, double> fields[] = {{"sigma", m.sigma}, {"outer", m.outer}, {"inner", m.inner},
                                                     {"endo", m.endo},   {"a", m.a},         {"b", m.b},
                                                     {"c", m.c},         {"metal", m.metal}};
    *out += '{';
    for (const auto& [key, value] : fields) {
        if (out->back() != '{')
            *out += ',';
        *out += '"';
        *out += key;
        *out += "\":";
        number(out, value);
    }
    *out += '}';
}

}  // namespace

std::string profile_dump_line(std::size_t point, const point_fit_detail_t& d, double thickness_mm, double density)
{
    const fit_stage_t& stage = d.fit.stage;
    if (d.profile.values.empty() || stage.weights.empty())
        return {};
    std::string out = "{\"point\":" + std::to_string(point) + ",\"step_mm\":";
    number(&out, d.step_mm);
    out += ",\"surface_sample\":";
    number(&out, d.surface_sample);
    array(&out, "values", d.profile.values);
    array(&out, "valid", d.profile.valid);
    array(&out, "weights", stage.weights);
    out += ",\"rect\":";
    number(&out, stage.start.rect);
    out += ",\"inner_edge\":";
    out += stage.free.inner ? "true" : "false";
    out += ",\"endo_layer\":";
    out += stage.free.inner && stage.free.endo ? "true" : "false";
    out += ",\"metal_side\":" + std::to_string(stage.start.metal_side) + ",\"metal_edge\":";
    number(&out, stage.start.metal_edge);
    out += ",\"free\":[";
    const std::pair<const char*, bool> free[] = {{"sigma", stage.free.sigma}, {"outer", stage.free.outer},
                                                 {"inner", stage.free.inner}, {"endo", stage.free.endo},
                                                 {"a", stage.free.a},         {"b", stage.free.b},
                                                 {"c", stage.free.c},         {"metal", stage.free.metal}};
    bool first = true;
    for (const auto& [name, is_free] : free)
        if (is_free) {
            out += first ? "\"" : ",\"";
            out += name;
            out += '"';
            first = false;
        }
    out += "],\"start\":";
    model(&out, stage.start);
    out += ",\"fit\":";
    model(&out, d.fit.cortex);
    out.pop_back();
    out += ",\"ok\":";
    out += d.fit.ok ? "true" : "false";
    out += ",\"info\":" + std::to_string(d.fit.info) + ",\"cost\":";
    number(&out, d.fit.cost);
    out += "},\"thickness_mm\":";
    number(&out, thickness_mm < thickness_unknown ? thickness_mm : NAN);
    out += ",\"density\":";
    number(&out, density < thickness_unknown ? density : NAN);
    out += "}\n";
    return out;
}

bool write_profile_dump(const wxString& path, const std::vector<point_fit_detail_t>& details,
                        const thickness_results_t& results)
{
    safe_file_t file(path);
    const auto& thick = results.values[thickness_results_t::thick];
    const auto& density = results.values[thickness_results_t::density];
    for (std::size_t i = 0; i < details.size() && file.ok(); ++i) {
        const bool known = i < thick.size() && i < density.size();
        const std::string line = profile_dump_line(i, details[i], known ? thick[i] : thickness_unknown,
                                                   known ? density[i] : thickness_unknown);
        if (!line.empty())
            file.write(line.data(), line.size());
    }
    if (!file.finish() || !file.commit()) {
        wxLogError("Cannot write the profiles to %s: %s", path, file.error_text());
        return false;
    }
    return true;
}
