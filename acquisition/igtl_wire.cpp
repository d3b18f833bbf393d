#include "igtl_wire.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint64_t polynomial = 0x42F0E1EBA9EA3693ull;

struct crc_tables_t {
    std::uint64_t t[8][256];
    crc_tables_t()
    {
        for (int b = 0; b < 256; ++b) {
            std::uint64_t c = static_cast<std::uint64_t>(b) << 56;
            for (int k = 0; k < 8; ++k)
                c = (c & (1ull << 63)) ? (c << 1) ^ polynomial : c << 1;
            t[0][b] = c;
        }
        for (int k = 1; k < 8; ++k)
            for (int b = 0; b < 256; ++b)
                t[k][b] = (t[k - 1][b] << 8) ^ t[0][t[k - 1][b] >> 56];
    }
};

const crc_tables_t& tables()
{
    static const crc_tables_t tables;
    return tables;
}

}  // namespace

std::uint64_t igtl_crc64(const unsigned char* p, std::size_t n, std::uint64_t crc)
{
    const auto& t = tables().t;
    while (n >= 8) {
        std::uint64_t v = 0;
        for (int k = 0; k < 8; ++k)
            v = (v << 8) | p[k];
        v ^= crc;
        crc = t[7][v >> 56] ^ t[6][(v >> 48) & 0xff] ^ t[5][(v >> 40) & 0xff] ^ t[4][(v >> 32) & 0xff] ^
              t[3][(v >> 24) & 0xff] ^ t[2][(v >> 16) & 0xff] ^ t[1][(v >> 8) & 0xff] ^ t[0][v & 0xff];
        p += 8;
        n -= 8;
    }
    while (n-- > 0)
        crc = t[0][((crc >> 56) ^ *p++) & 0xff] ^ (crc << 8);
    return crc;
}

void put_be16(unsigned char*& at, std::uint16_t v)
{
    *at++ = static_cast<unsigned char>(v >> 8);
    *at++ = static_cast<unsigned char>(v);
}

void put_be64(unsigned char*& at, std::uint64_t v)
{
    for (int k = 7; k >= 0; --k)
        *at++ = static_cast<unsigned char>(v >> (8 * k));
}

void put_be32f(unsigned char*& at, float v)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    for (int k = 3; k >= 0; --k)
        *at++ = static_cast<unsigned char>(bits >> (8 * k));
}

std::uint16_t get_be16(const unsigned char* p)
{
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

float get_be32f(const unsigned char* p)
{
    const std::uint32_t bits =
        (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | std::uint32_t(p[3]);
    float v = 0.0f;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::uint64_t get_be64(const unsigned char* p)
{
    std::uint64_t v = 0;
    for (int k = 0; k < 8; ++k)
        v = (v << 8) | p[k];
    return v;
}

std::vector<unsigned char> start_igtl_message(const char* type, const std::string& device, std::uint32_t seconds,
                                              std::uint32_t fraction, std::size_t body_size)
{
    std::vector<unsigned char> message(igtl_header_size + body_size);
    unsigned char* at = message.data();
    put_be16(at, 1);                                                      // header version
    std::memcpy(at, type, std::min<std::size_t>(std::strlen(type), 12));  // zero-padded by the vector
    at += 12;
    std::memcpy(at, device.data(), std::min<std::size_t>(device.size(), 20));
    at += 20;
    put_be64(at, (static_cast<std::uint64_t>(seconds) << 32) | fraction);
    put_be64(at, body_size);
    return message;
}

void finish_igtl_message(std::vector<unsigned char>& message)
{
    unsigned char* at = message.data() + igtl_header_size - 8;
    put_be64(at, igtl_crc64(message.data() + igtl_header_size, message.size() - igtl_header_size));
}
