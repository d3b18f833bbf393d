#include "grassfire_state.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

void grassfire_box::add(const grassfire_box& other)
{
    if (other.empty())
        return;
    add(other.x0, other.y0, other.z0);
    add(other.x1, other.y1, other.z1);
}

grassfire_box grassfire_box::on_frame(long z) const
{
    grassfire_box b = *this;
    b.z0 = b.z1 = z;
    return b;
}

std::optional<std::uint64_t> grassfire_state::bytes_needed(long width, long height, long frames)
{
    if (width < 1 || height < 1 || frames < 1)
        return std::nullopt;
    std::uint64_t plane = 0, all = 0;
    if (__builtin_mul_overflow(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height), &plane) ||
        __builtin_mul_overflow(plane, static_cast<std::uint64_t>(frames), &all))
        return std::nullopt;
    return all;
}

grassfire_state::grassfire_state(key_t, long width, long height, long frames, long jump,
                                 const grassfire_settings& settings, const grassfire_classes& classes)
    : width_(width),
      height_(height),
      frames_(frames),
      plane_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height)),
      settings_(settings),
      classes_(classes)
{
    // Beyond this every search has left the frame, so a larger setting
    // changes nothing but the time spent.
    const long reach = 2 * std::max(width, height) + 2;
    jump_ = std::clamp<long>(jump, 0, reach);
    for (long k = 1; k <= jump_; ++k) {
        const int o = static_cast<int>(std::floor(static_cast<double>(k) * 0.70710678 + 0.5));
        if (diagonal_.empty() || diagonal_.back() != o)
            diagonal_.push_back(o);
    }
}

std::unique_ptr<grassfire_state> grassfire_state::create(const std::vector<image_view>& frames, long width, long height,
                                                         long jump, const grassfire_settings& settings,
                                                         const grassfire_classes& classes)
{
    const auto bytes = bytes_needed(width, height, static_cast<long>(frames.size()));
    // Coordinates are kept in 32 bits.
    constexpr long max_side = std::numeric_limits<std::int32_t>::max();
    if (!bytes || width > max_side || height > max_side || static_cast<long>(frames.size()) > max_side ||
        *bytes > std::numeric_limits<std::size_t>::max())
        return nullptr;
    try {
        auto s = std::make_unique<grassfire_state>(key_t{}, width, height, static_cast<long>(frames.size()), jump,
                                                   settings, classes);
        s->cells_ = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(*bytes));
        s->grey_.reserve(frames.size());
        for (const image_view& f : frames) {
            if (!f.empty() && f.width == width && f.height == height) {
                s->grey_.push_back(f.pixels);
                continue;
            }
            if (!s->blank_)
                s->blank_ = std::make_unique<std::uint8_t[]>(s->plane_);
            s->grey_.push_back(s->blank_.get());
        }
        return s;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

grassfire_box grassfire_state::threshold(long z, bool all_burnt)
{
    grassfire_box found;
    std::uint8_t* out = plane(z);
    const std::uint8_t* in = grey(z);
    if (in == blank_.get()) {
        std::memset(out, 0, plane_);  // blank: nothing selected, nothing stops a search
        return found;
    }
    std::array<std::uint8_t, 256> table = classes_.bits;
    if (all_burnt)
        for (std::uint8_t& t : table)
            if (t & selected)
                t |= burnt;
    const auto w = static_cast<std::size_t>(width_);
    for (long y = 0; y < height_; ++y) {
        const std::uint8_t* src = in + static_cast<std::size_t>(y) * w;
        std::uint8_t* dst = out + static_cast<std::size_t>(y) * w;
        std::uint8_t any = 0;
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint8_t c = table[src[x]];
            dst[x] = c;
            any |= c;
        }
        if (!(any & selected))
            continue;
        std::size_t first = 0, last = w - 1;
        while (!(dst[first] & selected))
            ++first;
        while (!(dst[last] & selected))
            --last;
        found.add(static_cast<long>(first), y, z);
        found.add(static_cast<long>(last), y, z);
    }
    return found;
}

bool grassfire_state::next_unburnt_selected(std::size_t& from) const
{
    const std::size_t n = plane_ * static_cast<std::size_t>(frames_);
    const std::uint8_t* c = cells_.get();
    std::size_t i = from;
    if constexpr (std::endian::native == std::endian::little) {
        // Eight cells at a time: a candidate has its selected bit and no burn bit.
        constexpr std::uint64_t ones = 0x0101010101010101ULL;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t v = 0;
            std::memcpy(&v, c + i, 8);
            const std::uint64_t any_burn = ((v & (ones * burn_mask)) + ones * 0x7F) & (ones * 0x80);
            const std::uint64_t sel = (v & (ones * selected)) << 2;  // selected (0x20) moved to 0x80
            const std::uint64_t hit = sel & ~any_burn;
            if (hit) {
                from = i + static_cast<std::size_t>(std::countr_zero(hit) / 8);
                return true;
            }
        }
    }
    for (; i < n; ++i)
        if ((c[i] & (burn_mask | selected)) == selected) {
            from = i;
            return true;
        }
    from = n;
    return false;
}

grassfire_voxel grassfire_state::voxel_at(std::size_t i) const
{
    const auto w = static_cast<std::size_t>(width_);
    grassfire_voxel v;
    v.z = static_cast<std::int32_t>(i / plane_);
    const std::size_t r = i % plane_;
    v.y = static_cast<std::int32_t>(r / w);
    v.x = static_cast<std::int32_t>(r % w);
    return v;
}

grassfire_box grassfire_state::burnt_box(long z, const grassfire_box& within) const
{
    grassfire_box b;
    if (within.empty() || z < within.z0 || z > within.z1)
        return b;
    const std::uint8_t* p = plane(z);
    const long w = width_;
    for (long y = within.y0; y <= within.y1; ++y) {
        const std::uint8_t* row = p + y * w;
        long first = within.x0;
        while (first <= within.x1 && (row[first] & burn_mask) != burnt)
            ++first;
        if (first > within.x1)
            continue;
        long last = within.x1;
        while ((row[last] & burn_mask) != burnt)
            --last;
        b.add(first, y, z);
        b.add(last, y, z);
    }
    return b;
}

bool joins_diagonals(const grassfire_settings& settings)
{
    return settings.ridges || holes_only(settings);
}
