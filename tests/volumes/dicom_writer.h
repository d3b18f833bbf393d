// Writes small DICOM files for the tests, in any of the encodings a reader
// meets: explicit or implicit VR, little or big endian, with or without the
// preamble and meta group, with nested sequences of undefined length.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class dicom_writer_t {
public:
    bool big = false, explicit_vr = true;
    std::vector<std::uint8_t> bytes;

    // The preamble and a meta group naming the transfer syntax, whose
    // encoding the rest then follows.
    void meta(const std::string& transfer_syntax)
    {
        bytes.assign(128, 0);
        for (char c : std::string("DICM"))
            bytes.push_back(std::uint8_t(c));
        const bool b = big, e = explicit_vr;
        big = false;
        explicit_vr = true;
        text(0x0002, 0x0010, "UI", transfer_syntax);
        big = b;
        explicit_vr = e;
    }

    void element(std::uint16_t g, std::uint16_t e, const char* vr, const std::vector<std::uint8_t>& value,
                 bool undefined = false)
    {
        tag(g, e);
        const std::string v(vr);
        const bool long_vr =
            v == "OB" || v == "OW" || v == "SQ" || v == "UT" || v == "UN" || v == "UR" || v == "OF" || v == "UC";
        const std::uint32_t length = undefined ? 0xFFFFFFFFu : std::uint32_t(value.size());
        if (explicit_vr) {
            bytes.push_back(std::uint8_t(vr[0]));
            bytes.push_back(std::uint8_t(vr[1]));
            if (long_vr) {
                bytes.push_back(0);
                bytes.push_back(0);
                u32(length);
            } else {
                u16(std::uint16_t(length));
            }
        } else {
            u32(length);
        }
        bytes.insert(bytes.end(), value.begin(), value.end());
    }
    void text(std::uint16_t g, std::uint16_t e, const char* vr, std::string s)
    {
        if (s.size() % 2)
            s.push_back(std::string(vr) == "UI" ? '\0' : ' ');
        element(g, e, vr, std::vector<std::uint8_t>(s.begin(), s.end()));
    }
    void us(std::uint16_t g, std::uint16_t e, std::uint16_t v) { element(g, e, "US", word(v)); }
    void ss(std::uint16_t g, std::uint16_t e, std::int16_t v) { element(g, e, "SS", word(std::uint16_t(v))); }
    void pixels(const std::vector<std::uint16_t>& values)
    {
        std::vector<std::uint8_t> v;
        for (std::uint16_t x : values) {
            const auto w = word(x);
            v.insert(v.end(), w.begin(), w.end());
        }
        element(0x7FE0, 0x0010, "OW", v);
    }
    // Encapsulated pixel data: an empty offset table, then the fragments.
    void fragments(const std::vector<std::vector<std::uint8_t>>& parts)
    {
        element(0x7FE0, 0x0010, "OB", {}, true);
        begin_item_of(0);
        for (const auto& p : parts) {
            begin_item_of(std::uint32_t(p.size()));
            bytes.insert(bytes.end(), p.begin(), p.end());
        }
        end_sequence();
    }
    void begin_item_of(std::uint32_t length)
    {
        tag(0xFFFE, 0xE000);
        u32(length);
    }
    // A sequence of undefined length; items follow with item(), then end_sequence().
    void begin_sequence(std::uint16_t g, std::uint16_t e) { element(g, e, "SQ", {}, true); }
    void begin_item()
    {
        tag(0xFFFE, 0xE000);
        u32(0xFFFFFFFFu);
    }
    void end_item()
    {
        tag(0xFFFE, 0xE00D);
        u32(0);
    }
    void end_sequence()
    {
        tag(0xFFFE, 0xE0DD);
        u32(0);
    }

    std::vector<std::uint8_t> word(std::uint16_t v) const
    {
        return big ? std::vector<std::uint8_t>{std::uint8_t(v >> 8), std::uint8_t(v)}
                   : std::vector<std::uint8_t>{std::uint8_t(v), std::uint8_t(v >> 8)};
    }

private:
    void u16(std::uint16_t v)
    {
        const auto w = word(v);
        bytes.insert(bytes.end(), w.begin(), w.end());
    }
    void u32(std::uint32_t v)
    {
        if (big) {
            u16(std::uint16_t(v >> 16));
            u16(std::uint16_t(v));
        } else {
            u16(std::uint16_t(v));
            u16(std::uint16_t(v >> 16));
        }
    }
    void tag(std::uint16_t g, std::uint16_t e)
    {
        u16(g);
        u16(e);
    }
};
