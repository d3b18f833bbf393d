#include "plot_files.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include <wx/image.h>
#include <wx/log.h>

#include "plot_raster.h"
#include "resources/image_file.h"
#include "resources/safe_file.h"

namespace {

// Rows are written a chunk at a time: a million points need not sit in memory twice.
constexpr std::size_t csv_chunk_bytes = 1 << 20;

void append_number(std::string& out, double v)
{
    std::array<char, 40> text{};
    // Not printf: a GUI locale with a decimal comma would break the columns.
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), v, std::chars_format::general, 17);
    if (error == std::errc())
        out.append(text.data(), end);
}

void append_field(std::string& out, const std::string& field)
{
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        out += field;
        return;
    }
    out += '"';
    for (const char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

}  // namespace

bool save_plot_png(const plot_t& plot, const wxString& path, int width, int height)
{
    if (image_type_for(path) != wxBITMAP_TYPE_PNG) {
        wxLogError("The plot file '%s' needs a .png name.", path);
        return false;
    }
    const plot_image_t picture = render_plot(plot, width, height);
    if (picture.empty()) {
        wxLogError("A plot of %d x %d pixels cannot be drawn: each side must be 1 to %d.", width, height,
                   plot_image_max_side);
        return false;
    }
    wxImage image(picture.width, picture.height, false);
    if (!image.IsOk()) {
        wxLogError("No memory for a plot of %d x %d pixels.", width, height);
        return false;
    }
    std::memcpy(image.GetData(), picture.rgb.data(), picture.rgb.size());
    return save_image_file(image, path);
}

bool save_plot_csv(const plot_t& plot, const wxString& path)
{
    safe_file_t file(path);
    if (!file.ok()) {
        wxLogError("Error opening file for writing.\n%s: %s", path, file.error_text());
        return false;
    }
    std::string out = "series,x,y\n";
    bool written = true;
    for (const plot_series_t& s : plot.series)
        for (const plot_point_t& p : s.points) {
            if (!std::isfinite(p.x) || !std::isfinite(p.y))
                continue;
            append_field(out, s.label);
            out += ',';
            append_number(out, p.x);
            out += ',';
            append_number(out, p.y);
            out += '\n';
            if (out.size() >= csv_chunk_bytes) {
                written = written && file.write(out.data(), out.size());
                out.clear();
            }
        }
    written = written && file.write(out.data(), out.size());
    if (!written || !file.finish()) {
        wxLogError("Error writing '%s': %s", path, file.error_text());
        return false;
    }
    if (!file.commit()) {
        wxLogError("Error renaming the written file to '%s': %s", path, file.error_text());
        return false;
    }
    return true;
}
