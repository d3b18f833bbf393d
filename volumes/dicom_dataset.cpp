#include "dicom_dataset.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

namespace {

constexpr std::uint32_t item_tag = dicom_tag(0xFFFE, 0xE000);
constexpr std::uint32_t item_end_tag = dicom_tag(0xFFFE, 0xE00D);
constexpr std::uint32_t sequence_end_tag = dicom_tag(0xFFFE, 0xE0DD);
constexpr std::uint32_t pixel_data_tag = dicom_tag(0x7FE0, 0x0010);
constexpr std::uint32_t undefined_length = 0xFFFFFFFFu;

// VRs whose length takes 32 bits after two reserved bytes.
bool long_vr(const char* vr)
{
    static const char* const longs[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UR", "UT", "UN", "UV"};
    for (const char* l : longs)
        if (vr[0] == l[0] && vr[1] == l[1])
            return true;
    return false;
}

// What implicit-VR files leave out, for the elements we read as numbers or sequences.
void implicit_vr(std::uint32_t tag, char* vr)
{
    struct entry {
        std::uint32_t tag;
        const char* vr;
    };
    static const entry dictionary[] = {
        {dicom_tag(0x0028, 0x0002), "US"}, {dicom_tag(0x0028, 0x0006), "US"}, {dicom_tag(0x0028, 0x0010), "US"},
        {dicom_tag(0x0028, 0x0011), "US"}, {dicom_tag(0x0028, 0x0100), "US"}, {dicom_tag(0x0028, 0x0101), "US"},
        {dicom_tag(0x0028, 0x0102), "US"}, {dicom_tag(0x0028, 0x0103), "US"}, {dicom_tag(0x0028, 0x0120), "US"},
        {dicom_tag(0x0004, 0x1220), "SQ"}, {dicom_tag(0x0088, 0x0200), "SQ"}, {dicom_tag(0x5200, 0x9229), "SQ"},
        {dicom_tag(0x5200, 0x9230), "SQ"}, {dicom_tag(0x0020, 0x9113), "SQ"}, {dicom_tag(0x0020, 0x9116), "SQ"},
        {dicom_tag(0x0028, 0x9110), "SQ"}, {dicom_tag(0x0028, 0x9145), "SQ"}, {dicom_tag(0x0028, 0x9132), "SQ"},
    };
    for (const entry& e : dictionary)
        if (e.tag == tag) {
            vr[0] = e.vr[0];
            vr[1] = e.vr[1];
            return;
        }
    vr[0] = 'U';
    vr[1] = 'N';
}

wxString tag_text(std::uint32_t tag)
{
    return wxString::Format("(%04X,%04X)", unsigned(tag >> 16), unsigned(tag & 0xFFFF));
}

// The encoding of the elements being read.
struct encoding_t {
    bool big = false;
    bool explicit_vr = true;
    bool guess = false;  // no meta group: explicit when the VR looks like one
};

class walker_t {
public:
    walker_t(std::span<const std::uint8_t> bytes, dicom_dataset_t* ds, wxString* why) : b_(bytes), ds_(ds), why_(why) {}

    // Reading only a file's first bytes: the walk ends at the top-level pixel
    // data, whose length is checked against the whole file's size instead.
    void stop_at_pixels(std::uint64_t file_size) { file_size_ = file_size; }
    bool stopped_at_pixels() const { return stopped_; }

    std::uint16_t u16(std::size_t at, bool big) const
    {
        return big ? std::uint16_t(b_[at] << 8 | b_[at + 1]) : std::uint16_t(b_[at] | b_[at + 1] << 8);
    }
    std::uint32_t u32(std::size_t at, bool big) const
    {
        return big ? std::uint32_t(u16(at, true)) << 16 | u16(at + 2, true)
                   : std::uint32_t(u16(at + 2, false)) << 16 | u16(at, false);
    }

    bool fail(const wxString& reason)
    {
        if (why_->empty())
            *why_ = reason;
        return false;
    }

    // Elements from pos up to end, or up to the delimiter `stop` (consumed).
    // Top-level pixel data go to the data set.
    bool elements(std::size_t& pos, std::size_t end, encoding_t enc, int depth, dicom_items_t* out,
                  std::uint32_t stop = 0, bool meta_only = false)
    {
        if (depth > dicom_max_nesting)
            return fail("sequences are nested too deeply");
        while (pos < end) {
            if (end - pos < 8)
                return fail("the data end inside an element's header");
            // The meta group is always explicit little endian.
            const bool meta = u16(pos, false) == 0x0002;
            if (meta_only && !meta)
                return true;
            const bool big = enc.big && !meta;
            const std::uint32_t tag = std::uint32_t(u16(pos, big)) << 16 | u16(pos + 2, big);
            if (tag == item_end_tag || tag == sequence_end_tag) {
                pos += 8;
                if (tag == stop)
                    return true;
                continue;  // a stray delimiter: nothing to close
            }
            dicom_element_t e;
            e.tag = tag;
            const bool letters = std::isupper(b_[pos + 4]) && std::isupper(b_[pos + 5]);
            const bool explicit_here = meta || (enc.guess ? letters : enc.explicit_vr);
            std::uint32_t length = 0;
            std::size_t header = 8;
            if (explicit_here) {
                e.vr[0] = char(b_[pos + 4]);
                e.vr[1] = char(b_[pos + 5]);
                if (long_vr(e.vr)) {
                    if (end - pos < 12)
                        return fail("the data end inside an element's header");
                    length = u32(pos + 8, big);
                    header = 12;
                } else {
                    length = u16(pos + 6, big);
                }
            } else {
                implicit_vr(tag, e.vr);
                length = u32(pos + 4, big);
            }
            pos += header;
            const bool sequence =
                (e.vr[0] == 'S' && e.vr[1] == 'Q') || (length == undefined_length && tag != pixel_data_tag);
            if (file_size_ && depth == 0 && tag == pixel_data_tag) {
                if (length != undefined_length && length > file_size_ - std::min<std::uint64_t>(pos, file_size_))
                    return fail("element " + tag_text(tag) + " is longer than the data left");
                ds_->encapsulated = length == undefined_length;
                ds_->pixels_left_out = true;
                ds_->native_length = ds_->encapsulated ? 0 : length;
                out->emplace(tag, e);
                stopped_ = true;
                return true;
            }
            if (length == undefined_length) {
                if (tag == pixel_data_tag) {
                    // An icon's compressed pixels, inside a sequence, are stepped over: they are not the image.
                    if (!fragments(pos, end, enc, depth == 0 ? &ds_->fragments : nullptr))
                        return false;
                    if (depth == 0)
                        ds_->encapsulated = true;
                    out->emplace(tag, e);
                    continue;
                }
                // An undefined-length UN holds an implicit little-endian sequence.
                encoding_t inner = enc;
                if (e.vr[0] == 'U' && e.vr[1] == 'N')
                    inner = {false, false, false};
                if (!items(pos, end, inner, depth + 1, &e.items, true))
                    return false;
            } else {
                if (length > end - pos)
                    return fail("element " + tag_text(tag) + " is longer than the data left");
                e.value = b_.subspan(pos, length);
                if (sequence) {
                    std::size_t inside = pos;
                    if (!items(inside, pos + length, enc, depth + 1, &e.items, false))
                        return false;
                }
                if (tag == pixel_data_tag && depth == 0)
                    ds_->native_pixels = e.value;
                pos += length;
            }
            out->emplace(tag, std::move(e));  // the first of a repeated tag stays
        }
        if (stop != 0)
            return fail("a sequence or item has no end");
        return true;
    }

    // A sequence's items, to its end or to its delimiter.
    bool items(std::size_t& pos, std::size_t end, encoding_t enc, int depth, std::vector<dicom_items_t>* out,
               bool delimited)
    {
        if (depth > dicom_max_nesting)
            return fail("sequences are nested too deeply");
        while (pos < end) {
            if (end - pos < 8)
                return fail("the data end inside an item's header");
            const std::uint32_t tag = std::uint32_t(u16(pos, enc.big)) << 16 | u16(pos + 2, enc.big);
            const std::uint32_t length = u32(pos + 4, enc.big);
            pos += 8;
            if (tag == sequence_end_tag) {
                if (delimited)
                    return true;
                continue;
            }
            if (tag != item_tag)
                return fail("a sequence holds " + tag_text(tag) + " where an item belongs");
            dicom_items_t item;
            if (length == undefined_length) {
                if (!elements(pos, end, enc, depth, &item, item_end_tag))
                    return false;
            } else {
                if (length > end - pos)
                    return fail("an item is longer than the data left");
                std::size_t inside = pos;
                if (!elements(inside, pos + length, enc, depth, &item))
                    return false;
                pos += length;
            }
            out->push_back(std::move(item));
        }
        if (delimited)
            return fail("a sequence has no end");
        return true;
    }

    // Encapsulated pixel data: the basic offset table, then the fragments.
    // Encapsulated pixel data: the offset table, then the fragments (kept in `out` when given).
    bool fragments(std::size_t& pos, std::size_t end, encoding_t enc, std::vector<std::span<const std::uint8_t>>* out)
    {
        bool first = true;
        while (pos < end) {
            if (end - pos < 8)
                return fail("the data end inside the pixel data");
            const std::uint32_t tag = std::uint32_t(u16(pos, enc.big)) << 16 | u16(pos + 2, enc.big);
            const std::uint32_t length = u32(pos + 4, enc.big);
            pos += 8;
            if (tag == sequence_end_tag)
                return true;
            if (tag != item_tag || length == undefined_length || length > end - pos)
                return fail("the encapsulated pixel data are damaged");
            if (!first && out)
                out->push_back(b_.subspan(pos, length));
            first = false;
            pos += length;
        }
        return fail("the encapsulated pixel data have no end");
    }

private:
    std::span<const std::uint8_t> b_;
    dicom_dataset_t* ds_;
    wxString* why_;
    std::uint64_t file_size_ = 0;
    bool stopped_ = false;
};

std::string trimmed(std::span<const std::uint8_t> v)
{
    std::string s(reinterpret_cast<const char*>(v.data()), std::min<std::size_t>(v.size(), 1024));
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    std::size_t start = 0;
    while (start < s.size() && s[start] == ' ')
        ++start;
    return s.substr(start);
}

// A deflated data set (raw deflate, RFC 1951), inflated to at most the cap.
bool inflate_rest(std::span<const std::uint8_t> in, std::vector<std::uint8_t>* out, wxString* why)
{
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) {
        *why = "the deflated data set cannot be inflated";
        return false;
    }
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = uInt(std::min<std::size_t>(in.size(), 0xFFFFFFFFu));
    int status = Z_OK;
    while (status == Z_OK) {
        if (out->size() >= dicom_max_inflated) {
            inflateEnd(&z);
            *why = "the deflated data set inflates beyond 2 GB";
            return false;
        }
        const std::size_t had = out->size();
        out->resize(std::min(dicom_max_inflated, std::max<std::size_t>(had * 2, 65536)));
        z.next_out = out->data() + had;
        z.avail_out = uInt(out->size() - had);
        status = inflate(&z, Z_NO_FLUSH);
        out->resize(out->size() - z.avail_out);
        if (status == Z_BUF_ERROR && z.avail_in == 0)
            break;  // a stream cut short: what came out is all there is
        if (status == Z_BUF_ERROR)
            status = Z_OK;
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END && status != Z_BUF_ERROR) {
        *why = "the deflated data set is damaged";
        return false;
    }
    return true;
}

}  // namespace

const dicom_element_t* dicom_dataset_t::find(std::uint32_t tag, const dicom_items_t* scope) const
{
    const dicom_items_t& in = scope ? *scope : elements;
    const auto it = in.find(tag);
    return it == in.end() ? nullptr : &it->second;
}

std::optional<std::string> dicom_dataset_t::text(std::uint32_t tag, const dicom_items_t* scope) const
{
    const dicom_element_t* e = find(tag, scope);
    if (!e)
        return std::nullopt;
    return trimmed(e->value);
}

std::vector<double> dicom_dataset_t::numbers(std::uint32_t tag, const dicom_items_t* scope) const
{
    std::vector<double> out;
    const auto t = text(tag, scope);
    if (!t || t->empty())
        return out;
    std::size_t start = 0;
    while (start <= t->size()) {
        const std::size_t bar = std::min(t->find('\\', start), t->size());
        std::string part = t->substr(start, bar - start);
        while (!part.empty() && part.back() == ' ')
            part.pop_back();
        char* stop = nullptr;
        const double v = std::strtod(part.c_str(), &stop);
        if (part.empty() || *stop != '\0' || !std::isfinite(v))
            return {};
        out.push_back(v);
        start = bar + 1;
    }
    return out;
}

std::optional<std::int64_t> dicom_dataset_t::integer(std::uint32_t tag) const
{
    const dicom_element_t* e = find(tag);
    if (!e)
        return std::nullopt;
    const bool big = big_endian && (tag >> 16) != 0x0002;
    const auto& v = e->value;
    const auto byte = [&](std::size_t i) { return std::uint32_t(v[i]); };
    const std::string vr(e->vr, 2);
    const bool four = vr == "UL" || vr == "SL" || (vr == "UN" && v.size() == 4);
    if (four && v.size() >= 4) {
        const std::uint32_t u = big ? byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3)
                                    : byte(3) << 24 | byte(2) << 16 | byte(1) << 8 | byte(0);
        return vr == "SL" ? std::int64_t(std::int32_t(u)) : std::int64_t(u);
    }
    if (v.size() >= 2 && !four) {
        const std::uint16_t u = std::uint16_t(big ? byte(0) << 8 | byte(1) : byte(1) << 8 | byte(0));
        return vr == "SS" ? std::int64_t(std::int16_t(u)) : std::int64_t(u);
    }
    return std::nullopt;
}

namespace {
bool parse_dicom_part(std::span<const std::uint8_t> bytes, std::uint64_t file_size, dicom_dataset_t* out,
                      wxString* why);
}  // namespace

bool parse_dicom(std::span<const std::uint8_t> bytes, dicom_dataset_t* out, wxString* why)
{
    return parse_dicom_part(bytes, 0, out, why);
}

bool parse_dicom_header(std::span<const std::uint8_t> prefix, std::uint64_t file_size, dicom_dataset_t* out,
                        wxString* why)
{
    return parse_dicom_part(prefix, std::max<std::uint64_t>(file_size, 1), out, why);
}

namespace {

// file_size 0: `bytes` is the whole file; otherwise its first bytes, read up to the pixel data.
bool parse_dicom_part(std::span<const std::uint8_t> bytes, std::uint64_t file_size, dicom_dataset_t* out, wxString* why)
{
    *out = {};
    why->clear();
    std::size_t pos = 0;
    if (bytes.size() >= 132 && std::memcmp(bytes.data() + 128, "DICM", 4) == 0)
        pos = 132;
    walker_t walker(bytes, out, why);
    // The meta group: explicit little endian whatever follows.
    if (!walker.elements(pos, bytes.size(), {}, 0, &out->elements, 0, true))
        return false;
    out->has_meta = out->find(dicom_tag(0x0002, 0x0010)) != nullptr;
    encoding_t enc;
    if (out->has_meta) {
        out->transfer_syntax = *out->text(dicom_tag(0x0002, 0x0010));
        enc.explicit_vr = out->transfer_syntax != "1.2.840.10008.1.2";
        enc.big = out->transfer_syntax == "1.2.840.10008.1.2.2";
    } else {
        enc.guess = true;
    }
    out->big_endian = enc.big;
    out->explicit_vr = enc.explicit_vr;
    if (out->transfer_syntax == "1.2.840.10008.1.2.1.99") {
        if (file_size && bytes.size() < file_size) {
            *why = "a deflated data set is read whole";
            return false;
        }
        auto inflated = std::make_shared<std::vector<std::uint8_t>>();
        if (!inflate_rest(bytes.subspan(pos), inflated.get(), why))
            return false;
        out->inflated = inflated;
        walker_t inner(*inflated, out, why);
        std::size_t at = 0;
        return inner.elements(at, inflated->size(), enc, 0, &out->elements);
    }
    if (file_size)
        walker.stop_at_pixels(file_size);
    if (!walker.elements(pos, bytes.size(), enc, 0, &out->elements))
        return false;
    // A prefix that ends before the pixel data is not a whole header.
    if (file_size && !walker.stopped_at_pixels() && bytes.size() < file_size) {
        *why = "the header runs past the bytes read";
        return false;
    }
    if (out->elements.size() == 0) {
        *why = "no DICOM elements found";
        return false;
    }
    return true;
}

}  // namespace
