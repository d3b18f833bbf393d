// libFuzzer harness: segment with arbitrary small images, threshold
// windows, seeds and settings never reads outside the image, always ends,
// and gives closed outlines whose vertices lie between pixel centres of the
// image (or on its edge).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <wx/init.h>
#include <wx/log.h>

#include "display/cmap_fill.h"
#include "segmentation/grassfire.h"
#include "fuzz_reader.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    static const bool quiet = (wxLog::EnableLogging(false), true);
    (void)quiet;
    reader_t in{data, size};
    const long w = 1 + in.next<std::uint8_t>() % 40, h = 1 + in.next<std::uint8_t>() % 40;
    // Seeds mostly in or near the image, sometimes anywhere (65535 and up: no seed).
    const std::uint8_t where = in.next<std::uint8_t>();
    long seed_x = in.next<std::int32_t>(), seed_y = in.next<std::int32_t>();
    if (where & 1) {
        seed_x = seed_x % (w + 4) - 2;
        seed_y = seed_y % (h + 4) - 2;
    } else if (where & 2) {
        seed_x = grassfire::no_seed + (where >> 4);
    }
    const long jump = in.next<std::int8_t>();
    grassfire_settings s;
    s.hole_type = in.next<std::int8_t>();
    const std::uint8_t flags = in.next<std::uint8_t>();
    s.connected = flags & 1;
    s.ridges = flags & 2;
    s.window.doppler = flags & 4;
    s.window.lo = in.next<std::int16_t>();
    s.window.hi = in.next<std::int16_t>();
    // The classes of a grey or Doppler threshold map, or any table at all.
    float_cmap_t map;
    const long lo = in.next<std::uint8_t>(), hi = in.next<std::uint8_t>(), anti = in.next<std::uint8_t>();
    grassfire_classes classes;
    if ((flags & 0x18) == 0x18) {
        for (std::uint8_t& b : classes.bits)
            b = in.next<std::uint8_t>() & (grassfire_classes::selected | grassfire_classes::barrier);
    } else {
        if (flags & 8)
            fill_doppler_binary_cmap(map, lo, hi, lo + 192, hi + 192, anti + 128, anti + 150);
        else
            fill_grey_binary_cmap(map, lo, hi, anti);
        classes = classes_from_colour_map(map);
    }
    // The pixels, exactly as many as the size claims, so ASan sees any read past them.
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w * h));
    for (std::uint8_t& p : pixels)
        p = in.next<std::uint8_t>();

    const contour_set result = grassfire::segment({pixels.data(), w, h}, seed_x, seed_y, jump, s, classes);
    for (const contour& c : result.contours) {
        check(c.closed && c.points.size() >= 4);
        for (const vertex2d& p : c.points)
            check(std::isfinite(p.x) && std::isfinite(p.y) && p.x >= -0.5 && p.y >= -0.5 && p.x <= w - 0.5 &&
                  p.y <= h - 0.5);
    }
    if (s.connected && seed_x >= grassfire::no_seed)
        check(result.contours.empty());
    return 0;
}
