// Decoders for the binary pose records of the Polhemus and Ascension
// trackers. They read only within the record they are given and refuse
// anything that is not a finite pose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

using record_view = std::span<const unsigned char>;

inline constexpr std::size_t fastrak_record_length = 29;
inline constexpr std::size_t liberty_record_length = 34;
inline constexpr std::size_t ascension_unit_length = 12;   // one bird, stand-alone
inline constexpr std::size_t ascension_group_stride = 13;  // per bird in group mode

// Six little-endian IEEE floats at bytes 3..26 of a 29-byte record starting '0'.
bool decode_fastrak_record(record_view record, float (&pose)[6]);
// Six little-endian floats at bytes 8..31 of a 34-byte "LY"/"PA" record.
bool decode_liberty_record(record_view record, float (&pose)[6]);

// One signed 16-bit word from its low and high bytes, seven bits each.
std::int16_t ascension_word(unsigned char low, unsigned char high);
// A record is usable when it holds the expected length and starts with the phasing bit.
bool ascension_record_ok(record_view record, std::size_t expected_length);
// Bird k's position/angles; false when its 12 bytes lie outside the record.
bool decode_ascension_bird(record_view record, std::size_t bird, float full_scale_inches, float (&pose)[6]);
