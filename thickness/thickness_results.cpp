#include "thickness_results.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <memory>

#include <wx/filename.h>
#include <wx/log.h>

#include "resources/safe_file.h"
#include "volumes/file_bytes.h"

void thickness_results_t::reset(std::size_t points)
{
    for (auto& v : values)
        v.assign(points, thickness_unknown);
}

void thickness_results_t::set(std::size_t i, const point_result_t& r)
{
    const double by_quantity[count] = {
        r.thickness,  r.thickness, r.thickness_error, r.density,    r.surface,          r.joint, r.joint_error, r.blur,
        r.blur_error, r.endo,      r.endo_error,      r.trabecular, r.trabecular_error, r.tissue};
    for (int q = 0; q < count; ++q)
        values[std::size_t(q)][i] = by_quantity[q];
}

std::vector<wxString> thickness_file_names(const wxString& base)
{
    std::vector<wxString> names;
    for (const char* suffix : thickness_file_suffixes)
        names.push_back(base + suffix);
    return names;
}

namespace {

void to_little_endian(double v, unsigned char* out)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int b = 0; b < 8; ++b)
        out[b] = static_cast<unsigned char>(bits >> (8 * b));
}

double from_little_endian(const unsigned char* in)
{
    std::uint64_t bits = 0;
    for (int b = 0; b < 8; ++b)
        bits |= std::uint64_t(in[b]) << (8 * b);
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

}  // namespace

bool save_thickness(const wxString& base, const thickness_results_t& results)
{
    const std::vector<wxString> names = thickness_file_names(base);
    // A folder in a file's place would fail its rename after others had been replaced: refuse first.
    for (const wxString& name : names)
        if (wxFileName::DirExists(name)) {
            wxLogError("Error opening binary thickness files for writing.\n%s is a folder.", name);
            return false;
        }
    std::vector<std::unique_ptr<safe_file_t>> files;
    std::vector<unsigned char> bytes;
    for (std::size_t q = 0; q < names.size(); ++q) {
        const auto& values = results.values[q];
        bytes.resize(values.size() * 8);
        for (std::size_t i = 0; i < values.size(); ++i)
            to_little_endian(values[i], &bytes[8 * i]);
        auto file = std::make_unique<safe_file_t>(names[q]);
        if (!file->ok()) {
            wxLogError("Error opening binary thickness files for writing.\n");
            return false;  // the temporary files written so far go with their objects
        }
        if (!file->write(bytes.data(), bytes.size()) || !file->finish()) {
            wxLogError("Could not write %s: %s", names[q], file->error_text());
            return false;
        }
        files.push_back(std::move(file));
    }
    // All written: only now do they replace the old files.
    for (auto& f : files)
        if (!f->commit()) {
            wxLogError("Could not put %s in place: %s", f->target(), f->error_text());
            return false;
        }
    return true;
}

bool load_thickness(const wxString& base, std::size_t points, thickness_results_t* results)
{
    const std::vector<wxString> names = thickness_file_names(base);
    thickness_results_t read;
    std::vector<std::uint8_t> bytes;
    for (std::size_t q = 0; q < names.size(); ++q) {
        if (!wxFileName::FileExists(names[q])) {
            wxLogError("Could not find binary thickness or error files\n\n%s\n\nfor reading.", names[q]);
            return false;
        }
        if (!read_file_bytes(names[q], &bytes)) {
            wxLogError("Error opening binary thickness files for reading.\n");
            return false;
        }
        if (bytes.size() != points * 8) {
            wxLogError("Binary thickness files contain %ld values, whereas surface contains %ld values.\n",
                       long(bytes.size() / 8), long(points));
            return false;
        }
        auto& values = read.values[q];
        values.resize(points);
        for (std::size_t i = 0; i < points; ++i) {
            const double v = from_little_endian(&bytes[8 * i]);
            values[i] = std::isfinite(v) ? v : thickness_unknown;
        }
    }
    *results = std::move(read);
    return true;
}
