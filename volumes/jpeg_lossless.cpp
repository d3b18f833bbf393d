#include "jpeg_lossless.h"

#include <array>
#include <optional>

namespace {

// A Huffman table as T.81 F.2.2.3 decodes with it, and a lookup of every
// code up to `fast_bits` long by the next bits of the stream (most are).
constexpr int fast_bits = 9;

struct huffman_t {
    bool defined = false;
    std::array<std::int32_t, 17> maxcode{}, mincode{}, valptr{};
    std::vector<std::uint8_t> values;
    std::array<std::uint16_t, 1 << fast_bits> fast{};  // length << 8 | value, 0 when longer
};

// Builds the decoding tables from the 16 code counts and the values; false
// when the counts overflow the code space.
bool build(const std::uint8_t* counts, std::vector<std::uint8_t> values, huffman_t* h)
{
    h->values = std::move(values);
    h->fast.fill(0);
    std::int32_t code = 0, k = 0;
    for (int len = 1; len <= 16; ++len) {
        const int n = counts[len - 1];
        if (n == 0) {
            h->maxcode[std::size_t(len)] = -1;
        } else {
            h->valptr[std::size_t(len)] = k;
            h->mincode[std::size_t(len)] = code;
            if (code + n - 1 >= (1 << len))
                return false;  // more codes of this length than there is room for
            for (int c = 0; c < n && len <= fast_bits; ++c) {
                const std::size_t v = std::size_t(k + c);
                if (v >= h->values.size())
                    break;  // a code without a value: the slow path refuses it
                const int shift = fast_bits - len;
                for (int fill = 0; fill < (1 << shift); ++fill)
                    h->fast[std::size_t(((code + c) << shift) | fill)] = std::uint16_t(len << 8 | h->values[v]);
            }
            code += n;
            k += n;
            h->maxcode[std::size_t(len)] = code - 1;
        }
        code <<= 1;
    }
    h->defined = true;
    return true;
}

// Reads entropy-coded bits through a 64-bit window, undoing byte stuffing. A
// marker or the end of the data gives zero bits from then on; reading any of
// those makes the reader exhausted.
class bit_reader_t {
public:
    bit_reader_t(std::span<const std::uint8_t> data, std::size_t pos) : d_(data), pos_(pos) {}

    // The next n bits (n <= 16), not consumed.
    std::uint32_t peek(int n)
    {
        if (have_ < n)
            refill();
        return std::uint32_t(window_ >> (have_ - n)) & ((1u << n) - 1u);
    }
    void skip(int n)
    {
        have_ -= n;
        if (have_ < padding_) {
            exhausted_ = true;  // a bit past the data was used
            padding_ = have_;
        }
    }
    std::uint32_t bits(int n)
    {
        if (n == 0)
            return 0;
        const std::uint32_t v = peek(n);
        skip(n);
        return v;
    }
    bool exhausted() const { return exhausted_; }
    // Drops the rest of the byte and expects restart marker RSTn.
    bool restart(int n)
    {
        if (have_ - padding_ > 7)
            return false;  // whole bytes of data left before the marker
        window_ = 0;
        have_ = padding_ = 0;
        while (pos_ + 1 < d_.size() && d_[pos_] == 0xFF && d_[pos_ + 1] == 0xFF)
            ++pos_;  // fill bytes
        if (pos_ + 1 >= d_.size() || d_[pos_] != 0xFF || d_[pos_ + 1] != 0xD0 + n)
            return false;
        pos_ += 2;
        at_marker_ = false;
        return true;
    }

private:
    void refill()
    {
        while (have_ <= 56) {
            std::uint8_t b = 0;
            if (at_marker_ || pos_ >= d_.size()) {
                padding_ += 8;
            } else if (d_[pos_] == 0xFF) {
                if (pos_ + 1 >= d_.size() || d_[pos_ + 1] != 0x00) {
                    at_marker_ = true;  // a marker: no more data bits
                    padding_ += 8;
                } else {
                    b = 0xFF;
                    pos_ += 2;
                }
            } else {
                b = d_[pos_++];
            }
            window_ = window_ << 8 | b;
            have_ += 8;
        }
    }

    std::span<const std::uint8_t> d_;
    std::size_t pos_;
    std::uint64_t window_ = 0;  // the last have_ bits are unread; those above, read already
    int have_ = 0;
    int padding_ = 0;  // the last bits of the window that are not data
    bool at_marker_ = false, exhausted_ = false;
};

std::optional<int> decode_symbol(bit_reader_t& r, const huffman_t& h)
{
    if (const std::uint16_t hit = h.fast[r.peek(fast_bits)]) {
        r.skip(hit >> 8);
        return hit & 0xFF;
    }
    const std::uint32_t next = r.peek(16);
    for (int len = 1; len <= 16; ++len) {
        const std::int32_t code = std::int32_t(next >> (16 - len));
        if (h.maxcode[std::size_t(len)] >= 0 && code <= h.maxcode[std::size_t(len)]) {
            const std::size_t i = std::size_t(h.valptr[std::size_t(len)] + code - h.mincode[std::size_t(len)]);
            if (i >= h.values.size())
                return std::nullopt;
            r.skip(len);
            return h.values[i];
        }
    }
    return std::nullopt;  // no code this long
}

// The predictors of T.81 Table H.1 from the samples left (a), above (b) and above left (c).
inline std::int32_t predict(int predictor, std::int32_t a, std::int32_t b, std::int32_t c)
{
    switch (predictor) {
        case 1:
            return a;
        case 2:
            return b;
        case 3:
            return c;
        case 4:
            return a + b - c;
        case 5:
            return a + ((b - c) >> 1);
        case 6:
            return b + ((a - c) >> 1);
        default:
            return (a + b) >> 1;
    }
}

struct component_t {
    int id = 0;
    int table = 0;
};

std::uint16_t be16(std::span<const std::uint8_t> d, std::size_t at)
{
    return std::uint16_t(d[at] << 8 | d[at + 1]);
}

}  // namespace

bool decode_jpeg_lossless(std::span<const std::uint8_t> d, jpeg_lossless_image_t* out, wxString* why)
{
    *out = {};
    const auto fail = [why](const wxString& reason) {
        *why = reason;
        return false;
    };
    if (d.size() < 4 || d[0] != 0xFF || d[1] != 0xD8)
        return fail("the JPEG stream does not start with SOI");
    std::array<huffman_t, 4> tables;
    std::vector<component_t> components;
    long restart_interval = 0;
    bool have_frame = false;
    std::size_t pos = 2;
    while (pos + 4 <= d.size()) {
        if (d[pos] != 0xFF)
            return fail("the JPEG stream has data where a marker belongs");
        const std::uint8_t marker = d[pos + 1];
        if (marker == 0xFF) {
            ++pos;  // fill byte
            continue;
        }
        if (marker == 0xD9)
            break;
        const std::size_t length = be16(d, pos + 2);
        if (length < 2 || length > d.size() - pos - 2)
            return fail("a JPEG segment is longer than the stream");
        const std::span<const std::uint8_t> seg = d.subspan(pos + 4, length - 2);
        pos += 2 + length;
        if (marker == 0xC4) {  // DHT
            std::size_t at = 0;
            while (at < seg.size()) {
                if (seg.size() - at < 17)
                    return fail("a JPEG Huffman table is cut short");
                const int cls = seg[at] >> 4, id = seg[at] & 15;
                if (cls != 0 || id > 3)
                    return fail("a JPEG Huffman table of a kind lossless JPEG does not use");
                std::size_t total = 0;
                for (int i = 0; i < 16; ++i)
                    total += seg[at + 1 + std::size_t(i)];
                if (total > 256 || seg.size() - at - 17 < total)
                    return fail("a JPEG Huffman table has more codes than values");
                std::vector<std::uint8_t> values(seg.begin() + long(at + 17), seg.begin() + long(at + 17 + total));
                for (std::uint8_t v : values)
                    if (v > 16)
                        return fail("a JPEG Huffman table codes a difference longer than 16 bits");
                if (!build(&seg[at + 1], std::move(values), &tables[std::size_t(id)]))
                    return fail("a JPEG Huffman table has more codes than fit their lengths");
                at += 17 + total;
            }
        } else if (marker == 0xC3) {  // SOF3: lossless, Huffman
            if (seg.size() < 6)
                return fail("the JPEG frame header is cut short");
            out->precision = seg[0];
            out->height = be16(seg, 1);
            out->width = be16(seg, 3);
            const int n = seg[5];
            if (out->precision < 2 || out->precision > 16 || out->width < 1 || out->height < 1 || n < 1 || n > 4 ||
                seg.size() < 6 + 3 * std::size_t(n))
                return fail(wxString::Format("a lossless JPEG frame of %ld x %ld, %d bits, %d components is not read",
                                             out->width, out->height, out->precision, n));
            for (int c = 0; c < n; ++c) {
                if (seg[7 + 3 * std::size_t(c)] != 0x11)
                    return fail("subsampled lossless JPEG components are not read");
                components.push_back({seg[6 + 3 * std::size_t(c)], 0});
            }
            out->components = n;
            have_frame = true;
        } else if ((marker >= 0xC0 && marker <= 0xCF) && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            return fail("the JPEG stream is not lossless JPEG with Huffman coding");
        } else if (marker == 0xDD) {  // DRI
            if (seg.size() < 2)
                return fail("the JPEG restart interval is cut short");
            restart_interval = be16(seg, 0);
        } else if (marker == 0xDA) {  // SOS
            if (!have_frame)
                return fail("the JPEG scan comes before its frame header");
            const int ns = seg.empty() ? 0 : seg[0];
            if (ns != out->components || seg.size() < 1 + 2 * std::size_t(ns) + 3)
                return fail("the JPEG scan does not hold every component");
            for (int c = 0; c < ns; ++c) {
                const int id = seg[1 + 2 * std::size_t(c)], table = seg[2 + 2 * std::size_t(c)] >> 4;
                if (components[std::size_t(c)].id != id || table > 3 || !tables[std::size_t(table)].defined)
                    return fail("a JPEG scan component has no Huffman table");
                components[std::size_t(c)].table = table;
            }
            const int predictor = seg[1 + 2 * std::size_t(ns)];
            const int point_transform = seg[3 + 2 * std::size_t(ns)] & 15;
            if (predictor < 1 || predictor > 7 || point_transform >= out->precision)
                return fail(wxString::Format("lossless JPEG predictor %d with point transform %d is not read",
                                             predictor, point_transform));
            const std::uint64_t total = std::uint64_t(out->width) * std::uint64_t(out->height) * std::uint64_t(ns);
            if (total > jpeg_lossless_max_samples)
                return fail("the JPEG image is too large");
            // Every sample takes at least one bit: a stream too short for the
            // size it states is refused before anything is allocated.
            if (total > 8 * std::uint64_t(d.size() - pos))
                return fail("the JPEG data are too short for the image they describe");
            if (restart_interval > 0 && restart_interval % out->width != 0)
                return fail("a JPEG restart interval that is not whole rows");
            out->samples.assign(std::size_t(total), 0);
            bit_reader_t r(d, pos);
            const long w = out->width, h = out->height;
            const int p = out->precision - point_transform;
            const std::int32_t mask = (1 << p) - 1;
            std::vector<std::int32_t> line(std::size_t(w * ns)), above(std::size_t(w * ns));
            std::array<const huffman_t*, 4> table_of{};
            for (int c = 0; c < ns; ++c)
                table_of[std::size_t(c)] = &tables[std::size_t(components[std::size_t(c)].table)];
            long mcus = 0;
            int next_restart = 0;
            bool first_line = true;
            std::uint16_t* to = out->samples.data();
            const std::size_t row = std::size_t(w * ns);
            for (long y = 0; y < h; ++y) {
                if (restart_interval > 0 && mcus > 0 && mcus % restart_interval == 0) {
                    if (!r.restart(next_restart))
                        return fail("a JPEG restart marker is missing");
                    next_restart = (next_restart + 1) % 8;
                    first_line = true;
                }
                const std::int32_t* up = above.data();
                std::int32_t* here = line.data();
                std::size_t c = 0;  // the component of sample i, without a division per sample
                for (std::size_t i = 0; i < row; ++i, c = c + 1 == std::size_t(ns) ? 0 : c + 1) {
                    const bool first_column = i < std::size_t(ns);
                    std::int32_t px;
                    if (first_line)
                        px = first_column ? 1 << (p - 1) : here[i - std::size_t(ns)];
                    else if (first_column)
                        px = up[i];
                    else
                        px = predict(predictor, here[i - std::size_t(ns)], up[i], up[i - std::size_t(ns)]);
                    const auto ssss = decode_symbol(r, *table_of[c]);
                    if (!ssss)
                        return fail("the JPEG data hold a code no table has");
                    std::int32_t diff = 0;
                    if (*ssss == 16) {
                        diff = 32768;
                    } else if (*ssss > 0) {
                        diff = std::int32_t(r.bits(*ssss));
                        if (diff < (1 << (*ssss - 1)))
                            diff -= (1 << *ssss) - 1;
                    }
                    const std::int32_t v = (px + diff) & 0xFFFF & mask;
                    here[i] = v;
                    to[i] = std::uint16_t(v << point_transform);
                }
                mcus += w;
                to += row;
                if (r.exhausted())
                    return fail("the JPEG data end before the image");
                above.swap(line);
                first_line = false;
            }
            return true;
        }
        // APPn, COM, DQT and the like: skipped by their length.
    }
    return fail("the JPEG stream has no scan");
}
