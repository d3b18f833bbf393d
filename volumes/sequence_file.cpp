#include "sequence_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <system_error>
#include <filesystem>

#include <wx/filename.h>
#include <zlib.h>

#include "volumes/meta_header.h"

namespace {

// A header with a few hundred bytes of fields for each of many thousand frames still fits.
constexpr std::uint64_t max_header_bytes = std::uint64_t(64) << 20;
constexpr long max_side = 65535;  // a frame's bytes then fit in zlib's 32-bit counts
constexpr long max_frames = 1 << 24;
// deflate cannot shrink data by more than this: more frames than that are a lie.
constexpr std::uint64_t max_inflate_ratio = 1032;
constexpr std::size_t input_chunk = std::size_t(1) << 20;

const std::string frame_prefix = "seq_frame";

bool extension_is(const wxString& path, std::initializer_list<const char*> exts)
{
    const wxString ext = wxFileName(path).GetExt().Lower();
    return std::any_of(exts.begin(), exts.end(), [&](const char* e) { return ext == e; });
}

bool is_nrrd_path(const wxString& path)
{
    return extension_is(path, {"nrrd", "nhdr"});
}

// "seq_frame0012_probetotrackertransform" as frame 12 and "probetotrackertransform".
bool split_frame_key(const std::string& key, long* frame, std::string* name)
{
    if (key.compare(0, frame_prefix.size(), frame_prefix) != 0)
        return false;
    std::size_t i = frame_prefix.size();
    long n = 0;
    const std::size_t first_digit = i;
    while (i < key.size() && std::isdigit(static_cast<unsigned char>(key[i])) && i - first_digit < 9)
        n = 10 * n + (key[i++] - '0');
    if (i == first_digit || i >= key.size() || key[i] != '_')
        return false;
    *frame = n;
    *name = key.substr(i + 1);
    return true;
}

// A whole number from 1 to `limit`.
bool whole_number(double v, long limit)
{
    return v >= 1.0 && v <= double(limit) && v == std::floor(v);
}

bool orientation_flips(const std::string& text, bool* flip_columns, bool* flip_rows, wxString* why)
{
    const std::string o = lower_case(trim_blanks(text));
    if (o.empty() || o == "??" || o == "???") {
        *flip_columns = *flip_rows = false;  // unknown: taken as it stands
        return true;
    }
    const bool ok = (o.size() == 2 || (o.size() == 3 && (o[2] == 'a' || o[2] == 'd'))) &&
                    (o[0] == 'm' || o[0] == 'u') && (o[1] == 'f' || o[1] == 'n');
    if (!ok) {
        *why = "the UltrasoundImageOrientation '" + wxString(text.substr(0, 20)) + "' is not MF, MN, UF or UN";
        return false;
    }
    // M: the first axis towards the probe's mark; F: the second away from the transducer.
    *flip_columns = o[0] == 'u';
    *flip_rows = o[1] == 'n';
    return true;
}

bool metaimage_layout(const meta_header_t& h, sequence_header_t* s, std::vector<double>* dims, std::string* file,
                      wxString* why)
{
    const std::string object = lower_case(h.field("objecttype"));
    if (!object.empty() && object != "image") {
        *why = "the MetaImage object is not an image";
        return false;
    }
    const std::string ndims = h.field("ndims");
    if (!ndims.empty() && ndims != "3") {
        *why = "a sequence has three dimensions (NDims = 3), not '" + wxString(ndims.substr(0, 20)) + "'";
        return false;
    }
    *dims = header_numbers(h.field("dimsize"));
    if (h.field("elementtype") != "MET_UCHAR") {
        *why = "sequence frames of element type '" + wxString(h.field("elementtype").substr(0, 40)) +
               "' are not read (MET_UCHAR)";
        return false;
    }
    const std::string channels = h.field("elementnumberofchannels");
    if (!channels.empty() && channels != "1") {
        *why = "sequence frames of " + wxString(channels.substr(0, 20)) + " channels are not read (1, grey)";
        return false;
    }
    const std::string compressed = lower_case(h.field("compresseddata"));
    s->compressed = compressed == "true";
    if (!compressed.empty() && !s->compressed && compressed != "false") {
        *why = "CompressedData is '" + wxString(compressed.substr(0, 20)) + "', not True or False";
        return false;
    }
    *file = h.field("elementdatafile");
    if (*file == "LIST" || file->rfind("LIST ", 0) == 0 || file->find('%') != std::string::npos) {
        *why = "sequences in a list of files are not read";
        return false;
    }
    return true;
}

bool nrrd_layout(const meta_header_t& h, sequence_header_t* s, std::vector<double>* dims, std::string* file,
                 wxString* why)
{
    if (h.field("dimension") != "3") {
        *why = "a sequence has three dimensions, not '" + wxString(h.field("dimension").substr(0, 20)) + "'";
        return false;
    }
    *dims = header_numbers(h.field("sizes"));
    const std::string type = lower_case(h.field("type"));
    if (type != "uchar" && type != "unsigned char" && type != "uint8" && type != "uint8_t") {
        *why = "sequence frames of type '" + wxString(type.substr(0, 40)) + "' are not read (unsigned char)";
        return false;
    }
    const std::string encoding = lower_case(h.field("encoding"));
    s->compressed = encoding == "gzip" || encoding == "gz";
    if (!s->compressed && encoding != "raw") {
        *why = "NRRD encoding '" + wxString(encoding.substr(0, 20)) + "' is not read (raw or gzip)";
        return false;
    }
    const std::string skip = h.field("byte skip");
    if (!skip.empty() && skip != "0") {
        *why = "NRRD data with a byte skip are not read";
        return false;
    }
    *file = !h.field("data file").empty() ? h.field("data file") : h.field("datafile");
    if (file->empty())
        *file = "LOCAL";
    return true;
}

// How many bytes follow `offset` in the data file; false when none can.
bool bytes_after(const wxString& path, std::uint64_t offset, std::uint64_t* available, wxString* why)
{
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(static_cast<const char*>(path.fn_str()), ec);
    if (ec) {
        *why = "cannot read the size of " + path;
        return false;
    }
    if (offset > size) {
        *why = "the data start beyond the end of " + path;
        return false;
    }
    *available = std::uint64_t(size) - offset;
    return true;
}

bool data_size(const meta_header_t& h, sequence_header_t* s, bool nrrd, wxString* why)
{
    std::uint64_t available = 0;
    if (!bytes_after(s->data_path, s->data_offset, &available, why))
        return false;
    const std::uint64_t needed = std::uint64_t(s->width) * std::uint64_t(s->height) * std::uint64_t(s->frames);
    if (!s->compressed) {
        if (available < needed) {
            *why = wxString::Format(
                "the file holds %llu bytes of frames where %ld frames of %ld x %ld need %llu: the frame count "
                "does not match the data, or the file is cut short",
                static_cast<unsigned long long>(available), s->frames, s->width, s->height,
                static_cast<unsigned long long>(needed));
            return false;
        }
        s->data_bytes = needed;
        return true;
    }
    s->data_bytes = available;
    const std::string stated = nrrd ? std::string() : h.field("compresseddatasize");
    if (!stated.empty()) {
        const std::vector<double> n = header_numbers(stated);
        if (n.size() != 1 || !(n[0] >= 1.0) || n[0] != std::floor(n[0]) || n[0] > double(available)) {
            *why = wxString::Format("CompressedDataSize is '%s' where %llu bytes follow the header",
                                    wxString(stated.substr(0, 30)), static_cast<unsigned long long>(available));
            return false;
        }
        s->data_bytes = std::uint64_t(n[0]);
    }
    if (needed / max_inflate_ratio > s->data_bytes) {
        *why = wxString::Format("%llu bytes of compressed data cannot hold %ld frames of %ld x %ld",
                                static_cast<unsigned long long>(s->data_bytes), s->frames, s->width, s->height);
        return false;
    }
    return true;
}

void flip(const cip_t& image, bool columns, bool rows)
{
    std::uint8_t* p = image.pixels();
    const std::size_t w = std::size_t(image.width()), h = std::size_t(image.height());
    if (columns)
        for (std::size_t y = 0; y < h; ++y)
            std::reverse(p + y * w, p + (y + 1) * w);
    if (rows)
        for (std::size_t y = 0; y < h / 2; ++y)
            std::swap_ranges(p + y * w, p + (y + 1) * w, p + (h - 1 - y) * w);
}

class inflater_t {
public:
    inflater_t() { ok_ = inflateInit2(&z_, 15 + 32) == Z_OK; }  // zlib or gzip, told by the header
    ~inflater_t()
    {
        if (ok_)
            inflateEnd(&z_);
    }
    inflater_t(const inflater_t&) = delete;
    inflater_t& operator=(const inflater_t&) = delete;
    bool ok() const { return ok_; }
    z_stream& stream() { return z_; }

private:
    z_stream z_{};
    bool ok_ = false;
};

// Fills `out` from the compressed stream, reading more of the file as needed.
class compressed_reader_t {
public:
    compressed_reader_t(std::ifstream& in, std::uint64_t bytes) : in_(in), left_(bytes), buffer_(input_chunk) {}
    bool ok() const { return inflater_.ok(); }

    // "" when filled, else why not.
    wxString fill(std::uint8_t* out, std::size_t size)
    {
        z_stream& z = inflater_.stream();
        z.next_out = out;
        z.avail_out = uInt(size);
        while (z.avail_out > 0) {
            const wxString failed = step();
            if (!failed.empty())
                return failed;
            if (ended_ && z.avail_out > 0)
                return "the compressed data end before the frames do: the frame count does not match the data";
        }
        return {};
    }

    // After the last frame: the stream must end there, checksum included.
    wxString finish()
    {
        z_stream& z = inflater_.stream();
        std::uint8_t extra = 0;
        while (!ended_) {
            z.next_out = &extra;
            z.avail_out = 1;
            const wxString failed = step();
            if (!failed.empty())
                return failed;
            if (z.avail_out == 0)
                return "the compressed data hold more than the frames: the frame count does not match the data";
        }
        return {};
    }

private:
    // One call of inflate, with more input first when it has none.
    wxString step()
    {
        z_stream& z = inflater_.stream();
        if (z.avail_in == 0 && !refill())
            return "the file ends within the compressed data";
        const int status = inflate(&z, Z_NO_FLUSH);
        if (status == Z_STREAM_END)
            ended_ = true;
        else if (status == Z_BUF_ERROR && z.avail_in == 0)  // no progress, and no input left
            return "the compressed data are cut short (at CompressedDataSize or the end of the file)";
        else if (status != Z_OK && status != Z_BUF_ERROR)
            return "the compressed data are corrupt";
        return {};
    }

    // False when the file fails; true with nothing read when the stated bytes are used up.
    bool refill()
    {
        z_stream& z = inflater_.stream();
        const std::size_t n = std::size_t(std::min<std::uint64_t>(left_, buffer_.size()));
        if (n == 0)
            return true;
        in_.read(reinterpret_cast<char*>(buffer_.data()), std::streamsize(n));
        if (std::size_t(in_.gcount()) != n)
            return false;
        left_ -= n;
        z.next_in = buffer_.data();
        z.avail_in = uInt(n);
        return true;
    }

    std::ifstream& in_;
    std::uint64_t left_;
    std::vector<std::uint8_t> buffer_;
    inflater_t inflater_;
    bool ended_ = false;
};

}  // namespace

const std::string& sequence_header_t::frame_field(long frame, const std::string& lower_key) const
{
    static const std::string none;
    if (frame < 0 || std::size_t(frame) >= frame_fields.size())
        return none;
    const auto it = frame_fields[std::size_t(frame)].find(lower_key);
    return it == frame_fields[std::size_t(frame)].end() ? none : it->second;
}

bool is_sequence_file(const wxString& path)
{
    if (!extension_is(path, {"mha", "mhd", "nrrd", "nhdr"}) || !wxFileName::FileExists(path))
        return false;
    meta_header_t h;
    wxString why;
    if (!read_meta_header(path, is_nrrd_path(path), max_header_bytes, &h, &why))
        return false;
    long frame = 0;
    std::string name;
    return std::any_of(h.fields.begin(), h.fields.end(),
                       [&](const auto& f) { return split_frame_key(f.first, &frame, &name); });
}

bool read_sequence_header(const wxString& path, sequence_header_t* s, wxString* why)
{
    *s = {};
    s->path = path;
    const bool nrrd = is_nrrd_path(path);
    if (!nrrd && !extension_is(path, {"mha", "mhd"})) {
        *why = "a sequence file ends in .mha, .mhd, .nrrd or .nhdr";
        return false;
    }
    meta_header_t h;
    if (!read_meta_header(path, nrrd, max_header_bytes, &h, why))
        return false;
    std::vector<double> dims;
    std::string file;
    if (!(nrrd ? nrrd_layout(h, s, &dims, &file, why) : metaimage_layout(h, s, &dims, &file, why)))
        return false;
    if (dims.size() != 3 || !whole_number(dims[0], max_side) || !whole_number(dims[1], max_side) ||
        !whole_number(dims[2], max_frames)) {
        *why = wxString::Format(
            "a sequence's sizes must be width and height from 1 to %ld and a frame count from 1 "
            "to %ld",
            max_side, max_frames);
        return false;
    }
    s->width = long(dims[0]);
    s->height = long(dims[1]);
    s->frames = long(dims[2]);
    if (std::uint64_t(s->width) * std::uint64_t(s->height) * std::uint64_t(s->frames) > sequence_max_bytes) {
        *why = wxString::Format("%ld frames of %ld x %ld are more than can be held", s->frames, s->width, s->height);
        return false;
    }
    if (!orientation_flips(h.field("ultrasoundimageorientation"), &s->flip_columns, &s->flip_rows, why))
        return false;

    s->frame_fields.resize(std::size_t(s->frames));
    for (const auto& [key, value] : h.fields) {
        long frame = 0;
        std::string name;
        if (!split_frame_key(key, &frame, &name)) {
            s->fields[key] = value;
            continue;
        }
        if (frame >= s->frames) {
            *why = wxString::Format(
                "the header has fields for frame %ld but its sizes give %ld frames: the frame count does not match",
                frame, s->frames);
            return false;
        }
        s->frame_fields[std::size_t(frame)][name] = value;
    }

    s->data_path = path;
    s->data_offset = h.data_offset;
    if (file != "LOCAL") {
        if (!data_file_beside(path, file, &s->data_path, why))
            return false;
        s->data_offset = 0;
    }
    return data_size(h, s, nrrd, why);
}

bool read_sequence_frames(const sequence_header_t& s, const std::function<bool(long, const cip_t&)>& take,
                          wxString* why)
{
    std::ifstream in(static_cast<const char*>(s.data_path.fn_str()), std::ios::binary);
    if (!in || !in.seekg(std::streamoff(s.data_offset))) {
        *why = "cannot open " + s.data_path;
        return false;
    }
    std::unique_ptr<compressed_reader_t> compressed;
    if (s.compressed) {
        compressed = std::make_unique<compressed_reader_t>(in, s.data_bytes);
        if (!compressed->ok()) {
            *why = "the compressed data cannot be inflated";
            return false;
        }
    }
    const std::size_t frame_bytes = std::size_t(s.width) * std::size_t(s.height);
    for (long k = 0; k < s.frames; ++k) {
        const cip_t image = cip_t::make_8bit_for_overwrite(s.width, s.height);
        if (image.empty()) {
            *why = wxString::Format("there is not enough memory for frame %ld", k);
            return false;
        }
        if (compressed) {
            const wxString failed = compressed->fill(image.pixels(), frame_bytes);
            if (!failed.empty()) {
                *why = wxString::Format("frame %ld: ", k) + failed;
                return false;
            }
        } else if (!in.read(reinterpret_cast<char*>(image.pixels()), std::streamsize(frame_bytes))) {
            *why = wxString::Format("the file ends within frame %ld", k);
            return false;
        }
        flip(image, s.flip_columns, s.flip_rows);
        if (!take(k, image)) {
            why->clear();
            return false;
        }
    }
    if (compressed) {
        *why = compressed->finish();
        return why->empty();
    }
    return true;
}

bool parse_sequence_time(const std::string& text, std::uint64_t* ticks)
{
    constexpr std::uint64_t per_second = 10000000, max_seconds = 100000000000ULL;
    const std::string t = trim_blanks(text);
    const std::size_t dot = t.find('.');
    const std::string whole = t.substr(0, dot), fraction = dot == std::string::npos ? "" : t.substr(dot + 1);
    const auto digits = [](const std::string& d) {
        return std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!t.empty() && whole.size() <= 11 && digits(whole) && digits(fraction) && whole.size() + fraction.size() > 0) {
        std::uint64_t seconds = 0, sub = 0;
        for (char c : whole)
            seconds = 10 * seconds + std::uint64_t(c - '0');
        for (std::size_t i = 0; i < 7; ++i)
            sub = 10 * sub + (i < fraction.size() ? std::uint64_t(fraction[i] - '0') : 0);
        if (fraction.size() > 7 && fraction[7] >= '5')
            ++sub;
        if (seconds > max_seconds)
            return false;
        *ticks = seconds * per_second + sub;
        return true;
    }
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (t.empty() || *end != '\0' || !std::isfinite(v) || v < 0.0 || v > double(max_seconds))
        return false;
    *ticks = std::uint64_t(std::llround(v * double(per_second)));
    return true;
}

std::string sequence_time_text(std::uint64_t ticks)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%llu.%07llu", static_cast<unsigned long long>(ticks / 10000000),
                  static_cast<unsigned long long>(ticks % 10000000));
    return buf;
}
