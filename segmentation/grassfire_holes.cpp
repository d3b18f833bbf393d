// What happens to the burnt region before it becomes outlines: its holes
// filled or kept as the result, spurs that ridge following left in gaps
// pruned, and one-voxel cracks of a 3D region closed.
#include <wx/log.h>

#include "grassfire_state.h"

namespace {

using gs = grassfire_state;

void set_burn(std::uint8_t& c, std::uint8_t b)
{
    c = static_cast<std::uint8_t>((c & ~gs::burn_mask) | b);
}

// Hole treatment of one frame. Only the box of the burnt pixels needs
// looking at: everything beyond it is reached from outside anyway, and
// each scan from a side of the box meets the same pixels the scan from that
// side of the frame would.
void fill_frame(gs& s, long z, long hole_type)
{
    const grassfire_box b = s.burnt_box(z, s.region);
    if (b.empty())
        return;
    std::uint8_t* p = s.plane(z);
    const long w = s.width();
    struct at_t {
        std::int32_t x, y;
    };
    std::vector<at_t> todo;
    auto cell = [&](long x, long y) -> std::uint8_t& { return p[y * w + x]; };
    auto from_edge = [&](long x, long y) {
        std::uint8_t& c = cell(x, y);
        const std::uint8_t burn = c & gs::burn_mask;
        if (burn == gs::untouched) {
            set_burn(c, gs::outside);
            todo.push_back({static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)});
        }
        return burn != gs::burnt;
    };
    for (long y = b.y0; y <= b.y1; ++y) {
        for (long x = b.x0; x <= b.x1 && from_edge(x, y); ++x) {
        }
        for (long x = b.x1; x >= b.x0 && from_edge(x, y); --x) {
        }
    }
    for (long x = b.x0; x <= b.x1; ++x) {
        for (long y = b.y0; y <= b.y1 && from_edge(x, y); ++y) {
        }
        for (long y = b.y1; y >= b.y0 && from_edge(x, y); --y) {
        }
    }
    auto reach = [&](long x, long y) {
        if (x < b.x0 || x > b.x1 || y < b.y0 || y > b.y1)
            return;
        std::uint8_t& c = cell(x, y);
        if ((c & gs::burn_mask) != gs::untouched)
            return;
        set_burn(c, gs::queued);
        todo.push_back({static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)});
    };
    while (!todo.empty()) {
        const at_t a = todo.back();
        todo.pop_back();
        set_burn(cell(a.x, a.y), gs::outside);
        reach(a.x, a.y - 1);
        reach(a.x - 1, a.y);
        reach(a.x + 1, a.y);
        reach(a.x, a.y + 1);
    }
    // What is still untouched is enclosed by the region.
    const bool body = hole_type == 2;
    for (long y = b.y0; y <= b.y1; ++y)
        for (long x = b.x0; x <= b.x1; ++x) {
            std::uint8_t& c = cell(x, y);
            const std::uint8_t burn = c & gs::burn_mask;
            if (body && burn == gs::untouched)
                set_burn(c, gs::burnt);
            else if (burn == gs::outside)
                set_burn(c, body ? gs::untouched : gs::burnt);
        }
}

}  // namespace

void grassfire::fill_in_holes(grassfire_state& state)
{
    if (state.settings().hole_type != 0)
        fill_frame(state, 0, state.settings().hole_type);
}

void grassfire::fill_in_holes3(grassfire_state& state)
{
    if (state.settings().hole_type == 0 || state.region.empty())
        return;
    for (long z = state.region.z0; z <= state.region.z1; ++z)
        fill_frame(state, z, state.settings().hole_type);
}

void fill_in_holes_frame(grassfire_state& state, long z)
{
    if (state.settings().hole_type != 0)
        fill_frame(state, z, state.settings().hole_type);
}

void grassfire::get_extents3(grassfire_state& state)
{
    grassfire_box all;
    const grassfire_box within = state.region;
    if (!within.empty())
        for (long z = within.z0; z <= within.z1; ++z)
            all.add(state.burnt_box(z, within));
    state.region = all;
}

long grassfire::remove_ridges3(grassfire_state& s)
{
    // A pixel burnt through a gap (burnt but not selected) with at most one
    // burnt neighbour in its frame ends a spur: the ridge walk went on past
    // where the gap closed. Spurs are pruned a pixel per pass, for at most
    // the jump distance; only the neighbours of what was pruned can become
    // spur ends in the next pass.
    const grassfire_box b = s.region;
    if (b.empty())
        return 0;
    auto burnt_at = [&](long x, long y, long z) { return s.inside(x, y, z) && s.burn(x, y, z) == gs::burnt; };
    auto spur_end = [&](long x, long y, long z) {
        const std::uint8_t c = s.cells()[s.index(x, y, z)];
        if ((c & gs::burn_mask) != gs::burnt || (c & gs::selected) || (c & gs::mark))
            return false;
        int neighbours = 0;
        for (long dy = -1; dy <= 1; ++dy)
            for (long dx = -1; dx <= 1; ++dx)
                neighbours += (dx || dy) && burnt_at(x + dx, y + dy, z);
        return neighbours <= 1;
    };
    std::vector<grassfire_voxel> ends, next;
    auto take = [&](long x, long y, long z, std::vector<grassfire_voxel>& into) {
        s.cells()[s.index(x, y, z)] |= gs::mark;
        into.push_back({static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), static_cast<std::int32_t>(z)});
    };
    for (long z = b.z0; z <= b.z1; ++z)
        for (long y = b.y0; y <= b.y1; ++y)
            for (long x = b.x0; x <= b.x1; ++x)
                if (spur_end(x, y, z))
                    take(x, y, z, ends);
    long removed = 0;
    for (long pass = 0; pass < s.jump() && !ends.empty(); ++pass) {
        for (const grassfire_voxel& v : ends)
            set_burn(s.cells()[s.index(v.x, v.y, v.z)], gs::untouched);
        removed += static_cast<long>(ends.size());
        next.clear();
        for (const grassfire_voxel& v : ends)
            for (long dy = -1; dy <= 1; ++dy)
                for (long dx = -1; dx <= 1; ++dx)
                    if (s.inside(v.x + dx, v.y + dy, v.z) && spur_end(v.x + dx, v.y + dy, v.z))
                        take(v.x + dx, v.y + dy, v.z, next);
        ends.swap(next);
    }
    // Clear the marks of what was pruned and of ends left when the passes ran out.
    for (long z = b.z0; z <= b.z1; ++z)
        for (long y = b.y0; y <= b.y1; ++y) {
            std::uint8_t* c = s.cells() + s.index(b.x0, y, z);
            for (long x = b.x0; x <= b.x1; ++x, ++c)
                *c = static_cast<std::uint8_t>(*c & ~gs::mark);
        }
    return removed;
}

topology_counts relabel_cracks(grassfire_state& s)
{
    // A voxel outside the region with at least crack_faces of its six face
    // neighbours burnt has burnt neighbours on opposite sides: it is a crack
    // one voxel wide (a dropout in one frame, a notch), and joins the region.
    // Convex regions have none, so a frame of a solid keeps the outline a 2D
    // segmentation would give it.
    constexpr int crack_faces = 4;
    topology_counts counts;
    const grassfire_box b = s.region;
    if (b.empty())
        return counts;
    const long w = s.width();
    const auto plane = static_cast<std::ptrdiff_t>(s.plane_size());
    auto is_burnt = [](const std::uint8_t* c) { return (*c & gs::burn_mask) == gs::burnt; };
    wxLogMessage("3D topological analysis: initial outside region");
    for (long z = b.z0; z <= b.z1; ++z)
        for (long y = b.y0; y <= b.y1; ++y) {
            std::uint8_t* c = s.cells() + s.index(b.x0, y, z);
            for (long x = b.x0; x <= b.x1; ++x, ++c) {
                if ((*c & gs::burn_mask) != gs::untouched || (*c & gs::barrier))
                    continue;
                const int faces = (x > 0 && is_burnt(c - 1)) + (x + 1 < w && is_burnt(c + 1)) +
                                  (y > 0 && is_burnt(c - w)) + (y + 1 < s.height() && is_burnt(c + w)) +
                                  (z > 0 && is_burnt(c - plane)) + (z + 1 < s.frames() && is_burnt(c + plane));
                if (faces >= crack_faces) {
                    *c |= gs::mark;
                    ++counts.concave;
                } else if (faces > 0) {
                    ++counts.just_outside;
                }
            }
        }
    wxLogMessage("3D topological analysis: re-labelling voxels");
    for (long z = b.z0; z <= b.z1; ++z)
        for (long y = b.y0; y <= b.y1; ++y) {
            std::uint8_t* c = s.cells() + s.index(b.x0, y, z);
            for (long x = b.x0; x <= b.x1; ++x, ++c) {
                if (*c & gs::mark)
                    *c = static_cast<std::uint8_t>((*c & ~(gs::mark | gs::burn_mask)) | gs::burnt);
                counts.object += (*c & gs::burn_mask) == gs::burnt;
            }
        }
    const double all = static_cast<double>(s.plane_size()) * static_cast<double>(s.frames());
    wxLogMessage("3D topological analysis: %.02f %% voxels in concavities", 100.0 * counts.concave / all);
    wxLogMessage("3D topological analysis: %.02f %% voxels just outside", 100.0 * counts.just_outside / all);
    wxLogMessage("Connected component analysis: %.02f %% voxels in object", 100.0 * counts.object / all);
    return counts;
}
