// Burning: which pixels catch fire from a burning neighbour, gap jumps
// along straight lines or along ridges, and the generation-by-generation
// spread over one frame or a stack.
#include <array>

#include "grassfire_state.h"

namespace {

using gs = grassfire_state;

// Something the fire can jump to: selected, or already in the region.
bool solid(std::uint8_t c)
{
    return c & (gs::selected | gs::ignited | gs::burnt);
}

constexpr std::uint8_t solid_or_barrier = gs::selected | gs::ignited | gs::burnt | gs::barrier;

// One side of a straight line from pixel p: a solid pixel within `steps`
// samples `stride` apart, the search stopping at a barrier. The caller
// keeps the steps within the frame.
bool straight_side(const std::uint8_t* p, long stride, long steps)
{
    for (long k = 1; k <= steps; ++k) {
        const std::uint8_t c = p[k * stride];
        if (c & solid_or_barrier)
            return solid(c);
    }
    return false;
}

// The same along a diagonal, at the diagonal sample offsets up to `room`.
bool diagonal_side(const std::uint8_t* p, long stride, long room, const std::vector<int>& offsets)
{
    for (const int o : offsets) {
        if (o > room)
            return false;
        const std::uint8_t c = p[o * stride];
        if (c & solid_or_barrier)
            return solid(c);
    }
    return false;
}

// The four lines of the gap test: across, down, and the two diagonals.
enum line_t { across_line = 0, down_line = 1, diagonal_line = 2, antidiagonal_line = 3, no_line = 4 };

bool line_reaches(const gs& s, long x, long y, long z, int line)
{
    const long w = s.width(), h = s.height(), j = s.jump();
    const std::uint8_t* p = s.plane(z) + y * w + x;
    // Room to each side before the edge.
    const long left = x, right = w - 1 - x, up = y, down = h - 1 - y;
    const std::vector<int>& diag = s.diagonal_offsets();
    switch (line) {
    case across_line:
        return straight_side(p, -1, std::min(j, left)) && straight_side(p, 1, std::min(j, right));
    case down_line:
        return straight_side(p, -w, std::min(j, up)) && straight_side(p, w, std::min(j, down));
    case diagonal_line:
        return diagonal_side(p, -w - 1, std::min(left, up), diag) &&
               diagonal_side(p, w + 1, std::min(right, down), diag);
    default:
        return diagonal_side(p, 1 - w, std::min(right, up), diag) &&
               diagonal_side(p, w - 1, std::min(left, down), diag);
    }
}

// The gap test: along one of the four lines through the pixel there is
// something solid within the jump distance on both sides. The line through
// the burning neighbour is tried first: one side is already found.
bool line_gap(const gs& s, long x, long y, long z, int first)
{
    if (first != no_line && line_reaches(s, x, y, z, first))
        return true;
    for (int line = across_line; line < no_line; ++line)
        if (line != first && line_reaches(s, x, y, z, line))
            return true;
    return false;
}

// The eight steps around a pixel, each 45 degrees on from the last.
constexpr std::array<int, 8> ring_x{1, 1, 0, -1, -1, -1, 0, 1};
constexpr std::array<int, 8> ring_y{0, 1, 1, 1, 0, -1, -1, -1};
// The ring step of each ridge direction (and its opposite, 4 further on).
constexpr std::array<int, 4> ring_of_dir{0, 2, 1, 7};

int ring_distance(int a, int b)
{
    const int d = (a - b) & 7;
    return d > 4 ? 8 - d : d;
}

// The way along a ridge of direction `dir` that keeps closest to `heading`;
// the heading itself when the ridge runs across it.
int orient(int dir, int heading)
{
    const int a = ring_of_dir[static_cast<std::size_t>(dir)], b = (a + 4) & 7;
    const int da = ring_distance(a, heading), db = ring_distance(b, heading);
    if (da == db)
        return heading;
    return da < db ? a : b;
}

// Ridge mode's gap test: the pixel lies on a ridge, and walking along the
// ridge both ways (one pixel at a time, straight on or 45 degrees off,
// always to the strongest ridge pixel ahead) meets something solid within
// the jump distance.
bool ridge_gap(const gs& s, long x, long y, long z)
{
    const ridge_t here = grassfire::direction(s, x, y, z);
    if (here.response < ridge_t::ridge_level)
        return false;
    for (const int way : {0, 4}) {
        int heading = (ring_of_dir[static_cast<std::size_t>(here.dir)] + way) & 7;
        long cx = x, cy = y;
        bool found = false;
        for (long k = 1; k <= s.jump() && !found; ++k) {
            int best = -1;
            ridge_t best_ridge;
            for (const int turn : {0, -1, 1}) {
                const int step = (heading + turn) & 7;
                const long nx = cx + ring_x[static_cast<std::size_t>(step)];
                const long ny = cy + ring_y[static_cast<std::size_t>(step)];
                if (!s.inside(nx, ny, z))
                    continue;
                if (solid(s.plane(z)[ny * s.width() + nx])) {
                    found = true;
                    break;
                }
                const ridge_t r = grassfire::direction(s, nx, ny, z);
                if (r.response >= ridge_t::ridge_level && (best < 0 || r.response > best_ridge.response)) {
                    best = step;
                    best_ridge = r;
                }
            }
            if (found || best < 0)
                break;
            cx += ring_x[static_cast<std::size_t>(best)];
            cy += ring_y[static_cast<std::size_t>(best)];
            heading = orient(best_ridge.dir, best);
        }
        if (!found)
            return false;
    }
    return true;
}

// Whether an unselected pixel catches fire across a gap.
[[gnu::noinline]] bool jumps_gap(const gs& s, long x, long y, long z, int from_line)
{
    return s.settings().ridges ? ridge_gap(s, x, y, z) : line_gap(s, x, y, z, from_line);
}

// Tries to ignite the pixel whose cell is c: most calls end at the first
// test, on a pixel already alight.
[[gnu::always_inline]] inline bool try_ignite(gs& s, std::uint8_t* c, long x, long y, long z,
                                              std::vector<grassfire_voxel>& front, int from_line)
{
    const std::uint8_t v = *c;
    if (v & gs::burn_mask)
        return false;
    if (!(v & gs::selected) && ((v & gs::barrier) || s.jump() < 1 || !jumps_gap(s, x, y, z, from_line)))
        return false;
    *c = v | gs::ignited;
    const grassfire_voxel at{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), static_cast<std::int32_t>(z)};
    front.push_back(at);
    s.region.add(x, y, z);
    return true;
}

bool try_ignite(gs& s, long x, long y, long z, std::vector<grassfire_voxel>& front)
{
    return try_ignite(s, s.cells() + s.index(x, y, z), x, y, z, front, no_line);
}

// Every neighbour of a burning voxel is tried, then the voxel is burnt.
void spread(gs& s, const grassfire_voxel& v, std::vector<grassfire_voxel>& next)
{
    const long x = v.x, y = v.y, z = v.z, w = s.width(), h = s.height();
    std::uint8_t* c = s.cells() + s.index(x, y, z);
    if (y > 0)
        try_ignite(s, c - w, x, y - 1, z, next, down_line);
    if (x > 0)
        try_ignite(s, c - 1, x - 1, y, z, next, across_line);
    if (x + 1 < w)
        try_ignite(s, c + 1, x + 1, y, z, next, across_line);
    if (y + 1 < h)
        try_ignite(s, c + w, x, y + 1, z, next, down_line);
    if (s.settings().ridges) {
        if (y > 0 && x > 0)
            try_ignite(s, c - w - 1, x - 1, y - 1, z, next, diagonal_line);
        if (y > 0 && x + 1 < w)
            try_ignite(s, c - w + 1, x + 1, y - 1, z, next, antidiagonal_line);
        if (y + 1 < h && x > 0)
            try_ignite(s, c + w - 1, x - 1, y + 1, z, next, antidiagonal_line);
        if (y + 1 < h && x + 1 < w)
            try_ignite(s, c + w + 1, x + 1, y + 1, z, next, diagonal_line);
    }
    const auto plane = static_cast<std::ptrdiff_t>(s.plane_size());
    if (z > 0)
        try_ignite(s, c - plane, x, y, z - 1, next, no_line);
    if (z + 1 < s.frames())
        try_ignite(s, c + plane, x, y, z + 1, next, no_line);
    *c = static_cast<std::uint8_t>((*c & ~gs::burn_mask) | gs::burnt);
}

}  // namespace

ridge_t grassfire::direction(const grassfire_state& s, long x, long y, long z)
{
    ridge_t r;
    const long w = s.width();
    if (x < 2 || y < 2 || x + 2 >= w || y + 2 >= s.height())
        return r;
    const std::uint8_t c = s.plane(z)[y * w + x];
    if (c & gs::barrier)
        return r;
    const std::uint8_t* g = s.grey(z) + y * w + x;
    const int v0 = g[0];
    // Second differences across each direction: a ridge along x is brighter
    // (or darker) than the pixels above and below it.
    const std::array<long, 4> across{w, 1, 1 - w, 1 + w};
    std::array<int, 4> d{};
    const int sign = s.settings().window.greater(v0) ? 1 : -1;
    for (std::size_t i = 0; i < 4; ++i) {
        const long o = across[i];
        d[i] = sign * (4 * v0 - g[-2 * o] - g[-o] - g[o] - g[2 * o]);
    }
    // A response is no ridge when the perpendicular one is more than twice
    // as strong: that is a spot or an edge across it.
    std::array<int, 4> resp{};
    for (std::size_t i = 0; i < 4; ++i) {
        const int perp = d[i ^ 1];
        resp[i] = (perp > 0 && perp > 2 * d[i]) ? 0 : d[i];
        if (c & gs::selected)
            resp[i] += ridge_t::selected_bonus;
    }
    r.dir = 0;
    r.response = resp[0];
    for (int i = 1; i < 4; ++i)
        if (resp[static_cast<std::size_t>(i)] > r.response) {
            r.dir = i;
            r.response = resp[static_cast<std::size_t>(i)];
        }
    return r;
}

bool grassfire::ignited(grassfire_state& state, long x, long y, std::vector<grassfire_voxel>& front)
{
    return state.inside(x, y, 0) && try_ignite(state, x, y, 0, front);
}

bool grassfire::ignited3(grassfire_state& state, long x, long y, long z, std::vector<grassfire_voxel>& front)
{
    return state.inside(x, y, z) && try_ignite(state, x, y, z, front);
}

bool burn_region(grassfire_state& s, const std::optional<grassfire_voxel>& seed, bool connected,
                 const std::function<bool()>& keep_going)
{
    // How many pixels burn between two questions to the user.
    constexpr std::size_t check_every = std::size_t{1} << 20;
    std::vector<grassfire_voxel> front, next;
    std::size_t scan = 0, since_check = 0;
    auto light = [&](const grassfire_voxel& v) {
        s.cells()[s.index(v.x, v.y, v.z)] |= gs::ignited;
        s.region.add(v.x, v.y, v.z);
        front.push_back(v);
    };
    if (connected) {
        if (!seed)
            return true;
        light(*seed);
    } else {
        if (!s.next_unburnt_selected(scan))
            return true;
        light(s.voxel_at(scan));
    }
    for (;;) {
        while (!front.empty()) {
            for (const grassfire_voxel& v : front)
                spread(s, v, next);
            since_check += front.size();
            if (since_check >= check_every) {
                since_check = 0;
                if (keep_going && !keep_going())
                    return false;
            }
            front.swap(next);
            next.clear();
        }
        // Not connected: the raster scan goes on from the last seed.
        if (connected || !s.next_unburnt_selected(scan))
            return true;
        light(s.voxel_at(scan));
    }
}
