#include "acquisition/tracker_records.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace {

float little_endian_float(const unsigned char* p)
{
    const std::uint32_t bits = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                               std::uint32_t(p[3]) << 24;
    return std::bit_cast<float>(bits);
}

bool six_floats(const unsigned char* p, float (&pose)[6])
{
    float v[6];
    for (int i = 0; i < 6; ++i) {
        v[i] = little_endian_float(p + 4 * i);
        if (!std::isfinite(v[i]))
            return false;
    }
    std::memcpy(pose, v, sizeof v);
    return true;
}

// Ascension angle counts: full scale is 180 degrees at 32768 counts, with the
// tracker's own rounding of that ratio.
constexpr double ascension_degrees_per_count = 0.005493026520584735;

}  // namespace

bool decode_fastrak_record(record_view record, float (&pose)[6])
{
    if (record.size() != fastrak_record_length || record[0] != '0')
        return false;
    return six_floats(record.data() + 3, pose);
}

bool decode_liberty_record(record_view record, float (&pose)[6])
{
    if (record.size() != liberty_record_length)
        return false;
    if ((record[0] != 'L' && record[0] != 'P') || (record[1] != 'Y' && record[1] != 'A') || record[3] != 'P' ||
        (record[4] != 0 && record[4] != ' '))
        return false;
    return six_floats(record.data() + 8, pose);
}

std::int16_t ascension_word(unsigned char low, unsigned char high)
{
    const auto bits = static_cast<std::uint16_t>(((high & 0x7F) << 9) | ((low & 0x7F) << 2));
    return static_cast<std::int16_t>(bits);
}

bool ascension_record_ok(record_view record, std::size_t expected_length)
{
    return expected_length > 0 && record.size() >= expected_length && (record[0] & 0x80);
}

bool decode_ascension_bird(record_view record, std::size_t bird, float full_scale_inches, float (&pose)[6])
{
    const std::size_t offset = ascension_group_stride * bird;
    if (offset + ascension_unit_length > record.size())
        return false;
    const unsigned char* p = record.data() + offset;
    const float position_scale = full_scale_inches / 32767.0f * 2.54f;
    for (int i = 0; i < 6; ++i) {
        const double word = ascension_word(p[2 * i], p[2 * i + 1]);
        pose[i] = i < 3 ? static_cast<float>(word * position_scale) : static_cast<float>(word * ascension_degrees_per_count);
    }
    return true;
}
