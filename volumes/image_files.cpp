#include "image_files.h"

#include <cstdarg>
#include <cstring>
#include <memory>

#include <tiffio.h>
#include <wx/filename.h>
#include <wx/image.h>
#include <wx/log.h>

namespace {

bool is_tiff(const wxString& path)
{
    const wxString ext = wxFileName(path).GetExt().Lower();
    return ext == "tif" || ext == "tiff";
}

// libtiff reports through global handlers that print by default: keep the
// last error for the reason instead, and drop warnings.
thread_local wxString tiff_error;
void keep_tiff_error(const char* module, const char* format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    tiff_error = wxString::Format("%s: %s", module ? module : "TIFF", text);
}
void drop_tiff_warning(const char*, const char*, va_list) {}

struct tiff_closer {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using tiff_ptr = std::unique_ptr<TIFF, tiff_closer>;

tiff_ptr open_tiff(const wxString& path, wxString* why)
{
    TIFFSetErrorHandler(keep_tiff_error);
    TIFFSetWarningHandler(drop_tiff_warning);
    tiff_error.clear();
    tiff_ptr t(TIFFOpen(static_cast<const char*>(path.fn_str()), "r"));
    if (!t)
        *why = tiff_error.empty() ? wxString("it is not a readable TIFF file") : tiff_error;
    return t;
}

struct tiff_page_t {
    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 0, samples = 0, format = SAMPLEFORMAT_UINT;
};

tiff_page_t page_of(TIFF* t)
{
    tiff_page_t p;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &p.width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &p.height);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &p.bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &p.samples);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &p.format);
    return p;
}

bool page_readable(const tiff_page_t& p, wxString* why)
{
    const bool grey = p.samples == 1 && (p.bits == 8 || p.bits == 16);
    const bool colour = (p.samples == 3 || p.samples == 4) && p.bits == 8;
    if (!grey && !colour) {
        *why = wxString::Format("TIFF pages of %u samples of %u bits cannot be read", p.samples, p.bits);
        return false;
    }
    if (p.format != SAMPLEFORMAT_UINT && !(p.format == SAMPLEFORMAT_INT && grey)) {
        *why = "TIFF pages of floating-point samples cannot be read";
        return false;
    }
    if (p.width == 0 || p.height == 0 || std::uint64_t(p.width) * p.height > image_max_pixels) {
        *why = wxString::Format("a TIFF page of %u x %u pixels cannot be read", p.width, p.height);
        return false;
    }
    return true;
}

bool read_tiff_page(TIFF* t, const image_shape_t& shape, std::vector<std::uint16_t>* values, wxString* why)
{
    const tiff_page_t p = page_of(t);
    if (!page_readable(p, why))
        return false;
    if (long(p.width) != shape.width || long(p.height) != shape.height) {
        *why = "the TIFF page is not the size of the first";
        return false;
    }
    const std::size_t n = std::size_t(p.width) * p.height;
    values->assign(n, 0);
    if (p.samples != 1) {
        // Colour through libtiff's RGBA reader, which also handles tiles and palettes.
        std::vector<std::uint32_t> rgba(n);
        if (!TIFFReadRGBAImageOriented(t, p.width, p.height, rgba.data(), ORIENTATION_TOPLEFT, 0)) {
            *why = tiff_error.empty() ? wxString("the TIFF page cannot be decoded") : tiff_error;
            return false;
        }
        for (std::size_t i = 0; i < n; ++i)
            (*values)[i] = std::uint16_t((TIFFGetR(rgba[i]) + TIFFGetG(rgba[i]) + TIFFGetB(rgba[i])) / 3);
        return true;
    }
    if (TIFFIsTiled(t)) {
        *why = "tiled grey TIFF pages cannot be read";
        return false;
    }
    const tmsize_t line = TIFFScanlineSize(t);
    const std::size_t bytes_per_sample = p.bits / 8;
    if (line < tmsize_t(p.width * bytes_per_sample)) {
        *why = "the TIFF page's lines are shorter than its width";
        return false;
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(line));
    for (std::uint32_t y = 0; y < p.height; ++y) {
        if (TIFFReadScanline(t, row.data(), y, 0) < 0) {
            *why = tiff_error.empty() ? wxString("the TIFF page is damaged") : tiff_error;
            return false;
        }
        for (std::uint32_t x = 0; x < p.width; ++x) {
            std::uint16_t v = row[x];
            if (p.bits == 16) {
                std::uint16_t raw;
                std::memcpy(&raw, row.data() + 2 * x, 2);  // libtiff gives native byte order
                v = p.format == SAMPLEFORMAT_INT ? std::uint16_t(std::int16_t(raw) + 32768) : raw;
            }
            (*values)[std::size_t(y) * p.width + x] = v;
        }
    }
    return true;
}

void ensure_image_handlers()
{
    static const bool done = [] {
        if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
            wxInitAllImageHandlers();
        return true;
    }();
    (void)done;
}

}  // namespace

bool is_image_file(const wxString& path)
{
    const wxString ext = wxFileName(path).GetExt().Lower();
    return ext == "png" || ext == "pnm" || ext == "pgm" || ext == "ppm" || ext == "bmp" || is_tiff(path);
}

bool read_image_shape(const wxString& path, image_shape_t* shape, wxString* why)
{
    *shape = {};
    if (is_tiff(path)) {
        tiff_ptr t = open_tiff(path, why);
        if (!t)
            return false;
        const tiff_page_t first = page_of(t.get());
        if (!page_readable(first, why))
            return false;
        shape->width = long(first.width);
        shape->height = long(first.height);
        shape->is_signed = first.samples == 1 && first.format == SAMPLEFORMAT_INT;
        // The first run of pages alike; a bounded count, whatever the file claims.
        long pages = 1;
        while (pages < 100000 && TIFFReadDirectory(t.get())) {
            const tiff_page_t p = page_of(t.get());
            wxString ignored;
            if (p.width != first.width || p.height != first.height || !page_readable(p, &ignored))
                break;
            ++pages;
        }
        shape->pages = pages;
        return true;
    }
    ensure_image_handlers();
    wxLogNull quiet;  // wxImage logs its own errors; ours carries the reason
    wxImage image;
    if (!image.LoadFile(path) || !image.IsOk()) {
        *why = "it is not a readable image file";
        return false;
    }
    shape->width = image.GetWidth();
    shape->height = image.GetHeight();
    return true;
}

bool read_image_page(const wxString& path, long page, const image_shape_t& shape, std::vector<std::uint16_t>* values,
                     wxString* why)
{
    if (page < 0 || page >= shape.pages) {
        *why = wxString::Format("there is no page %ld", page + 1);
        return false;
    }
    if (is_tiff(path)) {
        tiff_ptr t = open_tiff(path, why);
        if (!t)
            return false;
        if (!TIFFSetDirectory(t.get(), tdir_t(page))) {
            *why = wxString::Format("there is no page %ld", page + 1);
            return false;
        }
        return read_tiff_page(t.get(), shape, values, why);
    }
    ensure_image_handlers();
    wxLogNull quiet;
    wxImage image;
    if (!image.LoadFile(path) || !image.IsOk() || image.GetWidth() != shape.width ||
        image.GetHeight() != shape.height) {
        *why = "the image cannot be read again at its size";
        return false;
    }
    const std::size_t n = std::size_t(shape.width) * std::size_t(shape.height);
    const unsigned char* rgb = image.GetData();
    values->resize(n);
    for (std::size_t i = 0; i < n; ++i)
        (*values)[i] = std::uint16_t((unsigned(rgb[3 * i]) + rgb[3 * i + 1] + rgb[3 * i + 2]) / 3);
    return true;
}
