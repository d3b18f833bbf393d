#include "probe_file.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <variant>

#include <wx/filename.h>
#include <wx/log.h>

#include "rf_utility.h"

namespace {

constexpr long max_filter_bands = 64;

// Where a key's values go, and the range each value must lie in.
using rate_target_t = std::variant<long probe_rate_t::*, std::vector<long> probe_rate_t::*,
                                   std::vector<std::int32_t> probe_rate_t::*>;
struct rate_field_t {
    sampling_rate_t rate;
    rate_target_t field;
};
using target_t = std::variant<wxString probe_t::*, double probe_t::*, long probe_t::*, std::vector<double> probe_t::*,
                              rate_field_t>;

struct key_def_t {
    std::string name;
    target_t target;
    double lo = -std::numeric_limits<double>::max(), hi = std::numeric_limits<double>::max();
};

constexpr double big = 1e9;

const char* const rate_prefixes[sampling_rate_count] = {"50M", "100M", "200M", "EXT"};

const std::vector<key_def_t>& key_defs()
{
    static const std::vector<key_def_t> defs = [] {
        std::vector<key_def_t> k = {
            {"PROBE_NAME", &probe_t::name},
            {"PROBE_RADIUS", &probe_t::radius},
            {"PROBE_ANGLES", &probe_t::angles},
            {"PROBE_START_ANGLE", &probe_t::start_angle},
            {"PROBE_VECTORS", &probe_t::vectors, 1, 65535},
            {"PROBE_VECTOR_SCALE", &probe_t::vector_scale},
            {"PROBE_SEGMENTS", &probe_t::segments, 1, 1024},
            {"PROBE_FILTERS", &probe_t::filters, 1, max_filter_bands},
            {"PROBE_COMPOUNDING_FILTER", &probe_t::compounding_filter, 0, max_filter_bands},
            {"PROBE_CENTRE_FREQ", &probe_t::centre_freq},
            {"PROBE_BANDWIDTH", &probe_t::bandwidth},
            {"PROBE_BASEBAND_FREQ", &probe_t::baseband_freq},
            {"PROBE_MOTOR_FOV", &probe_t::motor_fov},
            {"PROBE_MOTOR_RADIUS", &probe_t::motor_radius},
            {"PROBE_MOTOR_STEPS", &probe_t::motor_steps, 0, big},
            {"PROBE_PSF_DEPTH", &probe_t::psf_depth},
            {"PROBE_PSF_SAMPLES", &probe_t::psf_samples, 0, 65535},
            {"PROBE_PSF_VECTORS", &probe_t::psf_vectors, 0, 65535},
            {"PROBE_PSF_REAL", &probe_t::psf_real},
            {"PROBE_PSF_IMAG", &probe_t::psf_imag},
            {"PROBE_EXT_FREQ", &probe_t::ext_freq},
            {"PROBE_EXT_FREQ_INDEX", &probe_t::ext_freq_index, 0, max_filter_bands},
            {"PROBE_EXT_CENTRE_FREQ", &probe_t::ext_centre_freq},
            {"PROBE_EXT_BANDWIDTH", &probe_t::ext_bandwidth},
            {"PROBE_EXT_BASEBAND_FREQ", &probe_t::ext_baseband_freq},
            {"PROBE_ULAOP_SEQ_NAME", &probe_t::ulaop_seq_name},
            {"PROBE_ULAOP_SEQ_BLOCK", &probe_t::ulaop_seq_block, 0, big},
            {"PROBE_ULAOP_SEQ_ITEM", &probe_t::ulaop_seq_item, 0, big},
        };
        for (std::size_t r = 0; r < sampling_rate_count; ++r) {
            const auto rate = static_cast<sampling_rate_t>(r);
            const std::string p = std::string("PROBE_") + rate_prefixes[r] + "_";
            const double int32_lo = std::numeric_limits<std::int32_t>::min();
            const double int32_hi = std::numeric_limits<std::int32_t>::max();
            k.push_back({p + "START_OFFSET", rate_field_t{rate, &probe_rate_t::start_offset}, -big, big});
            k.push_back({p + "SEGMENT_OFFSETS", rate_field_t{rate, &probe_rate_t::segment_offsets}, -big, big});
            k.push_back({p + "FILTER_LENGTH", rate_field_t{rate, &probe_rate_t::filter_length}, 1,
                         rf_utility::max_filter_length});
            k.push_back({p + "FILTER_HALF", rate_field_t{rate, &probe_rate_t::filter_half}, 0,
                         rf_utility::max_filter_length - 1});
            k.push_back({p + "REAL_FILTER", rate_field_t{rate, &probe_rate_t::real_filter}, int32_lo, int32_hi});
            k.push_back({p + "IMAG_FILTER", rate_field_t{rate, &probe_rate_t::imag_filter}, int32_lo, int32_hi});
        }
        return k;
    }();
    return defs;
}

const key_def_t* find_key(std::string_view name)
{
    for (const key_def_t& k : key_defs())
        if (k.name == name)
            return &k;
    return nullptr;
}

wxString to_wx(std::string_view s)
{
    wxString w = wxString::FromUTF8(s.data(), s.size());
    if (w.empty() && !s.empty())
        w = wxString::From8BitData(s.data(), s.size());  // not UTF-8: read as Latin-1 rather than lost
    return w;
}

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::vector<std::string_view> split_tokens(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && is_blank(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !is_blank(line[i]))
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && is_blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string_view without_plus(std::string_view t)
{
    return t.size() > 1 && t[0] == '+' && t[1] != '-' ? t.substr(1) : t;
}

bool parse_real(std::string_view t, double* out)
{
    t = without_plus(t);
    const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), *out, std::chars_format::general);
    return ec == std::errc() && ptr == t.data() + t.size() && std::isfinite(*out);
}

// Whole numbers too long for 64 bits come back as the largest of their sign,
// so that the range check names them rather than calling them not numbers.
bool parse_integer(std::string_view t, long long* out)
{
    t = without_plus(t);
    const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), *out, 10);
    if (ptr != t.data() + t.size() || t.empty())
        return false;
    if (ec == std::errc::result_out_of_range)
        *out = t[0] == '-' ? std::numeric_limits<long long>::min() : std::numeric_limits<long long>::max();
    return ec == std::errc() || ec == std::errc::result_out_of_range;
}

struct token_t {
    std::string_view text;
    int line;
};

struct collected_t {
    const key_def_t* key = nullptr;
    int line = 0;
    wxString text;                // string keys: the rest of their line
    std::vector<token_t> values;  // numeric keys
};

class parser_t {
public:
    parser_t(const wxString& file, probe_t* probe) : file_(file), probe_(probe) {}

    bool parse(std::string_view text);

private:
    bool fail_at(int line, const std::string& key, const wxString& why) const
    {
        wxLogError("Probe file %s, line %d, %s: %s", file_, line, wxString(key), why);
        return false;
    }
    bool fail(const std::string& key, const wxString& why) const
    {
        wxLogError("Probe file %s, %s: %s", file_, wxString(key), why);
        return false;
    }
    bool store(const collected_t& c);
    bool store_values(const collected_t& c, std::vector<double>* reals, std::vector<long long>* integers,
                      bool integer, bool single);
    bool check_rates();
    bool check_counts();

    const wxString& file_;
    probe_t* probe_;
    std::map<std::string, int> seen_;  // key and the line it was on
};

bool parser_t::store_values(const collected_t& c, std::vector<double>* reals, std::vector<long long>* integers,
                            bool integer, bool single)
{
    const key_def_t& k = *c.key;
    if (c.values.empty())
        return fail_at(c.line, k.name, "no value.");
    if (single && c.values.size() != 1)
        return fail_at(c.line, k.name, wxString::Format("one value expected, %zu found.", c.values.size()));
    for (const token_t& t : c.values) {
        double r = 0.0;
        long long n = 0;
        if (integer ? !parse_integer(t.text, &n) : !parse_real(t.text, &r))
            return fail_at(t.line, k.name,
                           wxString::Format("'%s' is not %s.", to_wx(t.text), integer ? "a whole number" : "a number"));
        const double v = integer ? static_cast<double>(n) : r;
        if (v < k.lo || v > k.hi) {
            const bool taps = k.name.ends_with("_FILTER");
            return fail_at(t.line, k.name,
                           taps ? wxString::Format("%s does not fit in 32 bits.", to_wx(t.text))
                                : wxString::Format("%s lies outside %g to %g.", to_wx(t.text), k.lo, k.hi));
        }
        if (integer)
            integers->push_back(n);
        else
            reals->push_back(r);
    }
    return true;
}

bool parser_t::store(const collected_t& c)
{
    const key_def_t& k = *c.key;
    const auto [where, fresh] = seen_.emplace(k.name, c.line);
    if (!fresh)
        return fail_at(c.line, k.name, wxString::Format("given a second time (first on line %d).", where->second));
    std::vector<double> reals;
    std::vector<long long> integers;
    auto one_long = [&](long* out) {
        if (!store_values(c, &reals, &integers, true, true))
            return false;
        *out = static_cast<long>(integers[0]);
        return true;
    };
    auto long_list = [&]<typename T>(std::vector<T>* out) {
        if (!store_values(c, &reals, &integers, true, false))
            return false;
        out->assign(integers.begin(), integers.end());  // each already within its range
        return true;
    };
    return std::visit(
        [&](auto target) -> bool {
            using T = decltype(target);
            if constexpr (std::is_same_v<T, wxString probe_t::*>) {
                if (c.text.empty())
                    return fail_at(c.line, k.name, "no value.");
                probe_->*target = c.text;
                return true;
            } else if constexpr (std::is_same_v<T, double probe_t::*>) {
                if (!store_values(c, &reals, &integers, false, true))
                    return false;
                probe_->*target = reals[0];
                return true;
            } else if constexpr (std::is_same_v<T, long probe_t::*>) {
                return one_long(&(probe_->*target));
            } else if constexpr (std::is_same_v<T, std::vector<double> probe_t::*>) {
                if (!store_values(c, &reals, &integers, false, false))
                    return false;
                probe_->*target = std::move(reals);
                return true;
            } else {
                probe_rate_t& rate = probe_->rate(target.rate);
                return std::visit(
                    [&](auto field) -> bool {
                        using F = decltype(field);
                        if constexpr (std::is_same_v<F, long probe_rate_t::*>)
                            return one_long(&(rate.*field));
                        else
                            return long_list(&(rate.*field));
                    },
                    target.field);
            }
        },
        k.target);
}

bool parser_t::parse(std::string_view text)
{
    collected_t current;  // key null: no key open, or one that is not read
    auto close = [&]() -> bool {
        const bool ok = !current.key || store(current);
        current = collected_t{};
        return ok;
    };
    int line_number = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++line_number;
        const std::vector<std::string_view> tokens = split_tokens(line);
        if (tokens.empty())
            continue;
        double unused;
        if (parse_real(tokens[0], &unused)) {
            // Values may run on over the following lines.
            if (current.key && !std::holds_alternative<wxString probe_t::*>(current.key->target))
                for (std::string_view t : tokens)
                    current.values.push_back({t, line_number});
            continue;
        }
        if (!close())
            return false;
        if (!tokens[0].starts_with("PROBE_"))
            continue;
        const key_def_t* def = find_key(tokens[0]);
        if (!def) {
            wxLogDebug("Probe file %s, line %d: %s is not a probe key; ignored.", file_, line_number, to_wx(tokens[0]));
            continue;
        }
        current.key = def;
        current.line = line_number;
        if (std::holds_alternative<wxString probe_t::*>(def->target)) {
            const std::size_t after = static_cast<std::size_t>(tokens[0].data() + tokens[0].size() - line.data());
            current.text = to_wx(trimmed(line.substr(after)));
        } else {
            for (std::size_t k = 1; k < tokens.size(); ++k)
                current.values.push_back({tokens[k], line_number});
        }
    }
    return close() && check_rates() && check_counts();
}

bool parser_t::check_rates()
{
    for (std::size_t r = 0; r < sampling_rate_count; ++r) {
        const std::string p = std::string("PROBE_") + rate_prefixes[r] + "_";
        const probe_rate_t& rate = probe_->rates[r];
        const std::string parts[] = {p + "FILTER_LENGTH", p + "FILTER_HALF", p + "REAL_FILTER", p + "IMAG_FILTER"};
        if (seen_.count(p + "SEGMENT_OFFSETS") && rate.segment_offsets.size() != static_cast<std::size_t>(probe_->segments))
            return fail(p + "SEGMENT_OFFSETS", wxString::Format("%zu offsets, but PROBE_SEGMENTS is %ld.",
                                                               rate.segment_offsets.size(), probe_->segments));
        int present = 0;
        for (const std::string& key : parts)
            present += seen_.count(key) ? 1 : 0;
        if (present == 0)
            continue;
        for (const std::string& key : parts)
            if (!seen_.count(key))
                return fail(key, "missing, but the other filter keys of this sampling rate are given.");
        const auto needed = static_cast<std::size_t>(rate.filter_length) * static_cast<std::size_t>(probe_->filters);
        for (const auto& [key, taps] : {std::pair{parts[2], &rate.real_filter}, std::pair{parts[3], &rate.imag_filter}})
            if (taps->size() != needed)
                return fail(key, wxString::Format("%zu taps, but %s %ld for each of PROBE_FILTERS %ld needs %zu.",
                                                  taps->size(), wxString(parts[0]), rate.filter_length,
                                                  probe_->filters, needed));
        if (rate.filter_half >= rate.filter_length)
            return fail(parts[1], wxString::Format("tap %ld lies outside the %ld taps of the filter.", rate.filter_half,
                                                   rate.filter_length));
    }
    return true;
}

bool parser_t::check_counts()
{
    if (!seen_.count("PROBE_NAME"))
        return fail("PROBE_NAME", "missing.");
    if (probe_->compounding_filter > probe_->filters)
        return fail("PROBE_COMPOUNDING_FILTER", wxString::Format("filter %ld, but PROBE_FILTERS is %ld.",
                                                                 probe_->compounding_filter, probe_->filters));
    const auto psf = static_cast<std::size_t>(probe_->psf_samples) * static_cast<std::size_t>(probe_->psf_vectors);
    for (const auto& [key, values] : {std::pair{"PROBE_PSF_REAL", &probe_->psf_real},
                                      std::pair{"PROBE_PSF_IMAG", &probe_->psf_imag}})
        if (seen_.count(key) && values->size() != psf)
            return fail(key, wxString::Format("%zu values, but PROBE_PSF_SAMPLES %ld by PROBE_PSF_VECTORS %ld need %zu.",
                                              values->size(), probe_->psf_samples, probe_->psf_vectors, psf));
    return true;
}

// At most max_probe_file_bytes of the file; false when it cannot be read or is longer.
bool read_bytes(const wxString& path, std::string* bytes, bool quiet)
{
    std::ifstream in(path.fn_str(), std::ios::binary);
    if (!in) {
        if (!quiet)
            wxLogError("Could not open the probe file %s.", path);
        return false;
    }
    bytes->resize(max_probe_file_bytes + 1);
    in.read(bytes->data(), static_cast<std::streamsize>(bytes->size()));
    bytes->resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        if (!quiet)
            wxLogError("Could not read the probe file %s.", path);
        return false;
    }
    if (bytes->size() > max_probe_file_bytes) {
        if (!quiet)
            wxLogError("The probe file %s is longer than %zu bytes; it cannot be a probe definition.", path,
                       max_probe_file_bytes);
        return false;
    }
    return true;
}

}  // namespace

const char* sampling_rate_name(sampling_rate_t rate)
{
    switch (rate) {
    case sampling_rate_t::mhz50: return "50 MHz";
    case sampling_rate_t::mhz100: return "100 MHz";
    case sampling_rate_t::mhz200: return "200 MHz";
    case sampling_rate_t::external: return "external clock";
    }
    return "";
}

bool probe_t::has_any_filters() const
{
    for (const probe_rate_t& r : rates)
        if (r.has_filters())
            return true;
    return false;
}

bool parse_probe_text(std::string_view text, const wxString& file, probe_t* probe)
{
    probe_t fresh;
    fresh.file = file;
    if (!parser_t(file, &fresh).parse(text))
        return false;
    *probe = std::move(fresh);
    return true;
}

bool read_probe_file(const wxString& path, probe_t* probe)
{
    std::string bytes;
    return read_bytes(path, &bytes, false) && parse_probe_text(bytes, path, probe);
}

wxString read_probe_name(const wxString& path)
{
    std::string bytes;
    if (!read_bytes(path, &bytes, true))
        return {};
    std::size_t pos = 0;
    const std::string_view text(bytes);
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        const std::vector<std::string_view> tokens = split_tokens(line);
        if (!tokens.empty() && tokens[0] == "PROBE_NAME") {
            const std::size_t after = static_cast<std::size_t>(tokens[0].data() + tokens[0].size() - line.data());
            return to_wx(trimmed(line.substr(after)));
        }
    }
    return {};
}
