// OpenIGTLink messages laid out byte by byte (the protocol's version 1
// header and the IMAGE and TRANSFORM bodies, big-endian), with the header's
// CRC-64 (ECMA-182, most significant bit first, starting from 0) computed
// eight bytes at a time: at 60 frames a second of a large image the
// library's byte-at-a-time CRC alone took a fifth of a core.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

std::uint64_t igtl_crc64(const unsigned char* data, std::size_t length, std::uint64_t crc = 0);

inline constexpr std::size_t igtl_header_size = 58;
inline constexpr std::size_t igtl_image_header_size = 72;

// Starts a message: the header with room for `body_size` bytes after it.
// The CRC is filled in by finish_igtl_message once the body is written.
std::vector<unsigned char> start_igtl_message(const char* type, const std::string& device, std::uint32_t seconds,
                                              std::uint32_t fraction, std::size_t body_size);
void finish_igtl_message(std::vector<unsigned char>& message);

// The protocol's lengths are millimetres and its frame RAS; this program's
// are centimetres and LPS: x and y change sign (both ways alike).
inline constexpr double igtl_mm_per_cm = 10.0;
inline constexpr double igtl_lps_ras[3] = {-1.0, -1.0, 1.0};

// Writers of big-endian values at `at`, which they advance.
void put_be16(unsigned char*& at, std::uint16_t v);
void put_be32f(unsigned char*& at, float v);
void put_be64(unsigned char*& at, std::uint64_t v);

// Readers of big-endian values.
std::uint16_t get_be16(const unsigned char* p);
float get_be32f(const unsigned char* p);
std::uint64_t get_be64(const unsigned char* p);
