#include "cip.h"

#include <limits>
#include <new>

cip_t cip_t::make(long width, long height, bool with_samples, bool zeroed)
{
    cip_t image;
    if (width <= 0 || height <= 0)
        return image;
    const auto w = static_cast<unsigned long long>(width), h = static_cast<unsigned long long>(height);
    const unsigned long long limit = std::numeric_limits<std::size_t>::max() / 4;
    if (w > limit / h)
        return image;
    try {
        auto d = std::make_shared<image_data>();
        d->width = width;
        d->height = height;
        d->count = static_cast<std::size_t>(w * h);
        d->pixels = zeroed ? std::make_unique<std::uint8_t[]>(d->count)
                           : std::make_unique_for_overwrite<std::uint8_t[]>(d->count);
        if (with_samples)
            d->samples = zeroed ? std::make_unique<std::uint16_t[]>(d->count)
                                : std::make_unique_for_overwrite<std::uint16_t[]>(d->count);
        image.data_ = std::move(d);
    } catch (const std::bad_alloc&) {
        image.data_.reset();
    }
    return image;
}

cip_t cip_t::make_8bit(long width, long height)
{
    return make(width, height, false, true);
}

cip_t cip_t::make_16bit(long width, long height)
{
    return make(width, height, true);
}

cip_t cip_t::make_16bit_for_overwrite(long width, long height)
{
    return make(width, height, true, false);
}

cip_t cip_t::make_8bit_for_overwrite(long width, long height)
{
    return make(width, height, false, false);
}
