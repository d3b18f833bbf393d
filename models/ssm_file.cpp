#include "ssm_file.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <new>

#include <wx/log.h>

#include "resources/safe_file.h"

namespace {

constexpr const char* no_variables = "Could not read number of variables from SSM file";
constexpr const char* variables_mismatch = "Number of SSM variables does not match surface";
constexpr const char* no_modes = "Could not read the number of modes from SSM file";
constexpr const char* too_few_modes = "Need at least two SSM modes";
constexpr const char* no_values = "Could not read SSM mean, eigenvalues and basis vectors";

std::int32_t load_i32(const std::uint8_t* p)
{
    std::uint32_t u =
        std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
    return static_cast<std::int32_t>(u);
}

float load_f32(const std::uint8_t* p)
{
    const std::uint32_t u =
        std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
    return std::bit_cast<float>(u);
}

void store_32(std::string& out, std::uint32_t u)
{
    for (int k = 0; k < 4; ++k)
        out.push_back(static_cast<char>((u >> (8 * k)) & 0xff));
}

// Checks the two counts at the front against the surface and the file's
// size; logs the message of the first that fails.
bool check_counts(const std::uint8_t* head, std::size_t head_bytes, std::uint64_t file_bytes, std::size_t vertices,
                  std::int32_t* variables, std::int32_t* modes)
{
    if (head_bytes < 4) {
        wxLogError(no_variables);
        return false;
    }
    const std::int32_t v = load_i32(head);
    if (v <= 0 || static_cast<std::uint64_t>(v) != 3 * static_cast<std::uint64_t>(vertices)) {
        wxLogError(variables_mismatch);
        wxLogError("The model has %d variables; its surface's %zu vertices need %llu.", v, vertices,
                   3ULL * static_cast<unsigned long long>(vertices));
        return false;
    }
    if (head_bytes < 8) {
        wxLogError(no_modes);
        return false;
    }
    const std::int32_t m = load_i32(head + 4);
    if (m < 2) {
        wxLogError(too_few_modes);
        return false;
    }
    if (m > v) {
        wxLogError(no_values);
        wxLogError("The model claims %d modes of %d variables; it cannot have more modes than variables.", m, v);
        return false;
    }
    const std::uint64_t expected = ssm_file_size(v, m);
    if (expected == 0 || file_bytes != expected) {
        wxLogError(no_values);
        wxLogError("A model of %d variables and %d modes takes %llu bytes; the file has %llu.", v, m,
                   static_cast<unsigned long long>(expected), static_cast<unsigned long long>(file_bytes));
        return false;
    }
    *variables = v;
    *modes = m;
    return true;
}

bool read_values(const std::uint8_t* data, std::int32_t variables, std::int32_t modes, ssm_t* out)
{
    const std::size_t v = static_cast<std::size_t>(variables), m = static_cast<std::size_t>(modes);
    try {
        out->mean.resize(v);
        out->eigenvalues.resize(m);
        out->basis.resize(v * m);
    } catch (const std::bad_alloc&) {
        wxLogError(no_values);
        wxLogError("There is not enough memory for a model of %d variables and %d modes.", variables, modes);
        return false;
    }
    const std::uint8_t* p = data + 8;
    for (std::vector<float>* values : {&out->mean, &out->eigenvalues, &out->basis})
        for (float& f : *values) {
            f = load_f32(p);
            p += 4;
            if (!std::isfinite(f)) {
                wxLogError(no_values);
                wxLogError("The model holds a value that is not a finite number at byte %td.", p - 4 - data);
                return false;
            }
        }
    out->variables = variables;
    out->modes = modes;
    return true;
}

}  // namespace

std::uint64_t ssm_file_size(std::int64_t variables, std::int64_t modes)
{
    if (variables < 0 || modes < 0 || variables > INT32_MAX || modes > INT32_MAX)
        return 0;
    const std::uint64_t v = static_cast<std::uint64_t>(variables), m = static_cast<std::uint64_t>(modes);
    // v and m are below 2^31, so v * m is below 2^62 and 4 v m below 2^64; the sum may still overflow.
    const std::uint64_t vm = v * m;
    if (vm > (UINT64_MAX - 8 - 4 * v - 4 * m) / 4)
        return 0;
    return 8 + 4 * v + 4 * m + 4 * vm;
}

bool read_ssm(std::span<const std::uint8_t> bytes, std::size_t vertices, ssm_t* out)
{
    *out = {};
    std::int32_t v = 0, m = 0;
    if (!check_counts(bytes.data(), bytes.size(), bytes.size(), vertices, &v, &m))
        return false;
    if (!read_values(bytes.data(), v, m, out)) {
        *out = {};
        return false;
    }
    return true;
}

bool read_ssm_file(const wxString& path, std::size_t vertices, ssm_t* out)
{
    *out = {};
    std::ifstream in(static_cast<const char*>(path.fn_str()), std::ios::binary | std::ios::ate);
    if (!in) {
        wxLogError(no_variables);
        wxLogError("Could not open the shape model file %s.", path);
        return false;
    }
    const std::streamoff size = in.tellg();
    in.seekg(0);
    std::uint8_t head[8] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    const std::size_t got = static_cast<std::size_t>(in.gcount());
    std::int32_t v = 0, m = 0;
    if (size < 0 || !check_counts(head, got, static_cast<std::uint64_t>(size), vertices, &v, &m))
        return false;
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        wxLogError(no_values);
        wxLogError("There is not enough memory to read %s.", path);
        return false;
    }
    std::memcpy(bytes.data(), head, sizeof head);
    in.read(reinterpret_cast<char*>(bytes.data() + sizeof head),
            static_cast<std::streamsize>(bytes.size() - sizeof head));
    if (static_cast<std::size_t>(in.gcount()) != bytes.size() - sizeof head) {
        wxLogError(no_values);
        wxLogError("Could not read all of %s.", path);
        return false;
    }
    if (!read_values(bytes.data(), v, m, out)) {
        *out = {};
        return false;
    }
    return true;
}

bool write_ssm_file(const wxString& path, const ssm_t& model)
{
    const std::size_t v = static_cast<std::size_t>(std::max(model.variables, 0));
    const std::size_t m = static_cast<std::size_t>(std::max(model.modes, 0));
    if (model.mean.size() != v || model.eigenvalues.size() != m || model.basis.size() != v * m) {
        wxLogError("Could not save the shape model %s: its values do not match its %zu variables and %zu modes.", path,
                   v, m);
        return false;
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(ssm_file_size(model.variables, model.modes)));
    store_32(bytes, static_cast<std::uint32_t>(model.variables));
    store_32(bytes, static_cast<std::uint32_t>(model.modes));
    for (const std::vector<float>* values : {&model.mean, &model.eigenvalues, &model.basis})
        for (float f : *values)
            store_32(bytes, std::bit_cast<std::uint32_t>(f));
    safe_file_t file(path);
    if (!file.write(bytes.data(), bytes.size()) || !file.finish() || !file.commit()) {
        wxLogError("Could not save the shape model %s: %s", path, file.error_text());
        return false;
    }
    return true;
}

std::string fit_model_landmark_comment(const ssm_landmark_t& mark)
{
    std::string name = mark.name.utf8_string();
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == '"' || c == 0x7f)
            c = ' ';
    return "FIT_MODEL_LM \"" + name + "\" " + std::to_string(mark.vertex);
}

bool read_fit_model_landmarks(const std::vector<std::string>& comments, std::size_t vertices,
                              std::vector<ssm_landmark_t>* out)
{
    out->clear();
    static constexpr std::string_view key = "FIT_MODEL_LM";
    for (const std::string& line : comments) {
        std::string_view rest(line);
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
            rest.remove_prefix(1);
        if (!rest.starts_with(key))
            continue;
        rest.remove_prefix(key.size());
        while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t' || rest.back() == '\r'))
            rest.remove_suffix(1);
        const std::size_t blank = rest.find_last_of(" \t");
        std::string_view name = blank == std::string_view::npos ? std::string_view() : rest.substr(0, blank);
        const std::string_view index = blank == std::string_view::npos ? rest : rest.substr(blank + 1);
        while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
            name.remove_prefix(1);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
            name.remove_suffix(1);
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);
        else if (name.find_first_of(" \t\"") != std::string_view::npos)
            name = {};
        std::uint64_t vertex = 0;
        const auto [end, ec] = std::from_chars(index.data(), index.data() + index.size(), vertex);
        if (name.empty() || ec != std::errc() || end != index.data() + index.size()) {
            wxLogError("Unreadable shape model landmark \"%s\": it should read FIT_MODEL_LM \"name\" vertex.", line);
            out->clear();
            return false;
        }
        if (vertex >= vertices) {
            wxLogError("The shape model landmark \"%s\" names vertex %llu, but the model has %zu vertices.",
                       std::string(name), static_cast<unsigned long long>(vertex), vertices);
            out->clear();
            return false;
        }
        const wxString wname = wxString::FromUTF8(name.data(), name.size());
        const bool control = std::any_of(name.begin(), name.end(),
                                         [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
        if (wname.empty() || control) {
            wxLogError("The shape model landmark name in \"%s\" is not readable text.", line);
            out->clear();
            return false;
        }
        for (const ssm_landmark_t& m : *out)
            if (m.name == wname) {
                wxLogError("The shape model names the landmark \"%s\" twice.", wname);
                out->clear();
                return false;
            }
        out->push_back({wname, static_cast<std::uint32_t>(vertex)});
    }
    return true;
}
