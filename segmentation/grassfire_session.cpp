#include "grassfire_session.h"

#include <wx/log.h>

#include "common/dynabuf.h"
#include "display/globcmap.h"
#include "resources/resource_table.h"

grassfire_setup grassfire_setup_from_session()
{
    grassfire_setup setup;
    if (!res)
        return setup;
    grassfire_settings& s = setup.settings;
    s.hole_type = res->RES_SEGMENT_TYPE->value();
    s.connected = res->RES_SEGMENT_CONNECTED->value();
    s.ridges = res->RES_SEGMENT_RIDGES->value();
    s.window.lo = res->RES_CMAP_GREY_LO->value();
    s.window.hi = res->RES_CMAP_GREY_HI->value();
    s.window.doppler = res->RES_BUF_DOPPLER->value();
    if (colourmap)
        setup.classes = classes_from_colour_map(colourmap->float_maps());
    else
        wxLogDebug("Segmentation: no colour map, so nothing is selected.");
    return setup;
}

std::optional<std::vector<contour_set>> segment_click_from_session(long frame, long x, long y, long jump)
{
    std::vector<contour_set> found;
    if (!res || !bufp || frame < 0 || frame >= bufp->frames())
        return found;
    const grassfire_setup setup = grassfire_setup_from_session();
    const long gap = res->RES_SEGMENT_FRAME->value();
    if (gap < 1) {
        const cip_t image = bufp->imagecp(frame);
        contour_set s = grassfire::segment(image_view(image), x, y, jump, setup.settings, setup.classes);
        s.frame = static_cast<std::int32_t>(frame);
        if (!s.contours.empty())
            found.push_back(std::move(s));
        return found;
    }
    // The frames congruent to the clicked one modulo the gap, in order; the
    // images are held (shared, not copied) while the stack is in use.
    std::vector<cip_t> images;
    std::vector<image_view> stack;
    const long first = frame % gap;
    images.reserve(static_cast<std::size_t>((bufp->frames() - 1 - first) / gap + 1));
    for (long i = first; i < bufp->frames(); i = gap < bufp->frames() - i ? i + gap : bufp->frames())
        images.push_back(bufp->imagecp(i));
    stack.reserve(images.size());
    for (const cip_t& image : images)
        stack.emplace_back(image);
    auto sets = grassfire::segment3(stack, x, y, frame / gap, jump, setup.settings, setup.classes);
    if (!sets)
        return std::nullopt;
    for (contour_set& s : *sets)
        if (!s.contours.empty()) {
            s.frame = static_cast<std::int32_t>(first + static_cast<long>(s.frame) * gap);
            found.push_back(std::move(s));
        }
    return found;
}
