// Marching tetrahedra over a cell split along its main diagonal.
#include "tetra_mesher.h"

#include <algorithm>
#include <limits>

namespace {

// Corners of a cell by bits: x 1, y 2, z 4 (z the upper layer).
struct corner_edge {
    int from, to;  // from is a subset of to: every edge runs upwards
};
struct oriented_triangle {
    std::array<corner_edge, 3> edges;
};
using tet_table = std::array<std::array<std::vector<oriented_triangle>, 16>, 6>;

std::array<double, 3> ref(int corner) { return {double(corner & 1), double((corner >> 1) & 1), double(corner >> 2)}; }

std::array<double, 3> mid(const corner_edge& e)
{
    const auto a = ref(e.from), b = ref(e.to);
    return {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2};
}

corner_edge edge_of(int a, int b) { return (a & b) == a ? corner_edge{a, b} : corner_edge{b, a}; }

// The triangles of every sign pattern of every tetrahedron, oriented in the
// cell's own coordinates so that they face from the inside corners to the
// outside ones. Orientation is thus fixed by the pattern alone, whatever the
// shape the cell takes in space.
tet_table make_table()
{
    static constexpr int axes[6][3] = {{1, 2, 4}, {1, 4, 2}, {2, 1, 4}, {2, 4, 1}, {4, 1, 2}, {4, 2, 1}};
    tet_table table;
    for (int t = 0; t < 6; ++t) {
        const int v[4] = {0, axes[t][0], axes[t][0] | axes[t][1], 7};
        for (int mask = 1; mask < 15; ++mask) {
            std::vector<int> in, out;
            for (int k = 0; k < 4; ++k)
                ((mask >> k) & 1 ? in : out).push_back(v[k]);
            std::vector<std::vector<corner_edge>> polygons;
            if (in.size() == 1)
                polygons.push_back({edge_of(in[0], out[0]), edge_of(in[0], out[1]), edge_of(in[0], out[2])});
            else if (out.size() == 1)
                polygons.push_back({edge_of(out[0], in[0]), edge_of(out[0], in[1]), edge_of(out[0], in[2])});
            else {  // a quadrilateral, around its cycle
                const corner_edge ac = edge_of(in[0], out[0]), ad = edge_of(in[0], out[1]);
                const corner_edge bd = edge_of(in[1], out[1]), bc = edge_of(in[1], out[0]);
                polygons.push_back({ac, ad, bd});
                polygons.push_back({ac, bd, bc});
            }
            std::array<double, 3> g{};  // from the inside corners towards the outside ones
            for (int c : out)
                for (int k = 0; k < 3; ++k)
                    g[k] += ref(c)[k] / double(out.size());
            for (int c : in)
                for (int k = 0; k < 3; ++k)
                    g[k] -= ref(c)[k] / double(in.size());
            for (auto& p : polygons) {
                const auto m0 = mid(p[0]), m1 = mid(p[1]), m2 = mid(p[2]);
                const double u[3] = {m1[0] - m0[0], m1[1] - m0[1], m1[2] - m0[2]};
                const double w[3] = {m2[0] - m0[0], m2[1] - m0[1], m2[2] - m0[2]};
                const double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
                if (n[0] * g[0] + n[1] * g[1] + n[2] * g[2] < 0.0)
                    std::swap(p[1], p[2]);
                table[t][mask].push_back({{p[0], p[1], p[2]}});
            }
        }
    }
    return table;
}

const tet_table& table()
{
    static const tet_table t = make_table();
    return t;
}

constexpr int tet_corners[6][4] = {{0, 1, 3, 7}, {0, 1, 5, 7}, {0, 2, 3, 7}, {0, 2, 6, 7}, {0, 4, 5, 7}, {0, 4, 6, 7}};

// The triangles of a whole cell, its six tetrahedra in turn, for every code
// of its corners. A code holds two bits per corner node of the lower layer's
// cell square (x 1, y 2 as above): the lower layer's sign, then the upper's.
struct cell_triangles_t {
    // The edges the triangles cut, each once, in the order the triangles
    // first meet them (so points are made in that order): from, direction.
    std::uint8_t edge_count = 0;
    std::array<std::array<std::uint8_t, 2>, 19> edges{};
    std::uint8_t count = 0;
    std::array<std::array<std::uint8_t, 3>, 12> triangles{};  // indices into edges
};
using cell_table_t = std::array<cell_triangles_t, 256>;

cell_table_t make_cell_table()
{
    cell_table_t cells;
    const tet_table& tab = table();
    for (int code = 0; code < 256; ++code) {
        bool inside[8];
        for (int c = 0; c < 8; ++c)
            inside[c] = (code >> (2 * (c & 3) + (c >> 2))) & 1;
        cell_triangles_t& cell = cells[static_cast<std::size_t>(code)];
        const auto edge_index = [&cell](int from, int direction) {
            for (std::uint8_t k = 0; k < cell.edge_count; ++k)
                if (cell.edges[k][0] == from && cell.edges[k][1] == direction)
                    return k;
            cell.edges[cell.edge_count] = {static_cast<std::uint8_t>(from), static_cast<std::uint8_t>(direction)};
            return cell.edge_count++;
        };
        for (int t = 0; t < 6; ++t) {
            int mask = 0;
            for (int k = 0; k < 4; ++k)
                mask |= inside[tet_corners[t][k]] ? 1 << k : 0;
            for (const oriented_triangle& tri : tab[static_cast<std::size_t>(t)][static_cast<std::size_t>(mask)]) {
                auto& out = cell.triangles[cell.count++];
                for (std::size_t k = 0; k < 3; ++k)
                    out[k] = edge_index(tri.edges[k].from, tri.edges[k].to ^ tri.edges[k].from);
            }
        }
    }
    return cells;
}

const cell_table_t& cell_table()
{
    static const cell_table_t t = make_cell_table();
    return t;
}

}  // namespace

tetra_mesher_t::tetra_mesher_t(std::size_t nu, std::size_t nv, surface_mesh_t& mesh)
    : nu_(nu), nv_(nv), mesh_(mesh)
{
    const std::size_t n = nu * nv;
    lower_flat_.assign(n, {});
    upper_flat_.assign(n, {});
    rising_.assign(n, {});
}

// Inline in the cell loop: it runs for every cut edge, and most find their point made already.
[[gnu::always_inline]] inline std::uint32_t tetra_mesher_t::edge_point(std::size_t i, std::size_t j, int from,
                                                                       int direction)
{
    const std::size_t a = (j + ((from >> 1) & 1)) * nu_ + i + (from & 1);
    const int to = from | direction;
    const std::size_t b = (j + ((to >> 1) & 1)) * nu_ + i + (to & 1);
    const field_layer_t& la = (from & 4) ? *upper_ : *lower_;
    const field_layer_t& lb = (to & 4) ? *upper_ : *lower_;
    const auto slot_in = [](auto& entry, std::uint32_t stamp, std::size_t k) {
        if (entry.stamp != stamp) {
            entry.point.fill(none);
            entry.stamp = stamp;
        }
        return &entry.point[k];
    };
    std::uint32_t* slot = nullptr;
    if (direction & 4)
        slot = slot_in(rising_[a], slab_stamp_, static_cast<std::size_t>(direction - 4));
    else if (from & 4)
        slot = slot_in(upper_flat_[a], upper_stamp_, static_cast<std::size_t>(direction - 1));
    else
        slot = slot_in(lower_flat_[a], lower_stamp_, static_cast<std::size_t>(direction - 1));
    if (*slot != none)
        return *slot;
    if (mesh_.points.size() >= std::numeric_limits<std::uint32_t>::max() - 1) {
        overflow_ = true;
        return 0;
    }
    const double fa = la.value[a], fb = lb.value[b];
    const double t = std::clamp(fa / (fa - fb), 0.0, 1.0);  // the ends differ in sign
    const vertex3d pa = la.node(a, i + (from & 1), j + ((from >> 1) & 1));
    const vertex3d pb = lb.node(b, i + (to & 1), j + ((to >> 1) & 1));
    surface_point_t p;
    p.position = {pa.x + t * (pb.x - pa.x), pa.y + t * (pb.y - pa.y), pa.z + t * (pb.z - pa.z)};
    p.kind = (direction & 4) ? SURF_POINT_ORDINARY : la.kind;
    mesh_.points.push_back(p);
    *slot = static_cast<std::uint32_t>(mesh_.points.size() - 1);
    return *slot;
}

bool tetra_mesher_t::add_slab(const field_layer_t& lower, const field_layer_t& upper)
{
    return add_slab(lower, upper, {0, nu_ - 1, 0, nv_ - 1});
}

bool tetra_mesher_t::add_slab(const field_layer_t& lower, const field_layer_t& upper, const node_window_t& window)
{
    const std::size_t n = nu_ * nv_;
    if (lower.value.size() != n || upper.value.size() != n || (!lower.on_lines && lower.position.size() != n) ||
        (!upper.on_lines && upper.position.size() != n))
        return false;
    if (lower_ != nullptr) {
        std::swap(lower_flat_, upper_flat_);  // the old upper layer is the new lower one
        lower_stamp_ = upper_stamp_;
    } else {
        lower_stamp_ = next_stamp_++;
    }
    upper_stamp_ = next_stamp_++;
    slab_stamp_ = next_stamp_++;
    lower_ = &lower;
    upper_ = &upper;
    const cell_table_t& cells = cell_table();
    const std::size_t i_end = std::min(window.i1, nu_ - 1), j_end = std::min(window.j1, nv_ - 1);
    if (window.empty() || window.i0 >= i_end || window.j0 >= j_end)
        return true;
    // Each node's two signs once, so that a cell's code takes four reads and
    // the many cells wholly inside or outside are passed over at once.
    signs_.resize(n);
    for (std::size_t j = window.j0; j <= j_end; ++j)
        for (std::size_t i = window.i0, at = j * nu_ + i; i <= i_end; ++i, ++at)
            signs_[at] = static_cast<std::uint8_t>((lower.value[at] > 0.0f ? 1 : 0) | (upper.value[at] > 0.0f ? 2 : 0));
    for (std::size_t j = window.j0; j < j_end; ++j) {
        const std::uint8_t* row = signs_.data() + j * nu_;
        const std::uint8_t* next = row + nu_;
        for (std::size_t i = window.i0; i < i_end; ++i) {
            const unsigned code =
                unsigned(row[i]) | unsigned(row[i + 1]) << 2 | unsigned(next[i]) << 4 | unsigned(next[i + 1]) << 6;
            if (code == 0 || code == 255)
                continue;
            const cell_triangles_t& cell = cells[code];
            std::array<std::uint32_t, 19> points;
            for (std::size_t e = 0; e < cell.edge_count; ++e)
                points[e] = edge_point(i, j, cell.edges[e][0], cell.edges[e][1]);
            if (overflow_)
                return false;
            for (std::size_t t = 0; t < cell.count; ++t) {
                surface_triangle_t out;
                for (std::size_t k = 0; k < 3; ++k)
                    out.points[k] = points[cell.triangles[t][k]];
                mesh_.triangles.push_back(out);
            }
        }
    }
    return true;
}
