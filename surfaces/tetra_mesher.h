// The zero level of a field sampled on a stack of layers of nodes, as
// triangles. Each cell between two layers is cut into the same six
// tetrahedra along its main diagonal, so neighbouring cells split their shared
// faces alike and the triangles join into a closed, consistently oriented
// mesh wherever the field is negative all round the stack.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "surfaces/surface_mesh.h"

// One layer: nu * nv nodes, row by row, each with a world position and a
// field value (positive inside).
struct field_layer_t {
    std::vector<vertex3d> position;
    std::vector<float> value;
    surface_point_kind_t kind = SURF_POINT_ORDINARY;  // given to points formed within the layer
    // Set: the nodes lie on a grid of lines instead of at `position` (which
    // may then be empty), node (i, j) at origin + u across + v down with
    // u = u0 + i step, v = v0 + j step: worked out only where surface passes.
    bool on_lines = false;
    vertex3d origin, across, down;
    double u0 = 0.0, v0 = 0.0, step = 1.0;

    vertex3d node(std::size_t n, std::size_t i, std::size_t j) const
    {
        if (!on_lines)
            return position[n];
        const double u = u0 + double(i) * step, v = v0 + double(j) * step;
        return {origin.x + (across.x * u + down.x * v), origin.y + (across.y * u + down.y * v),
                origin.z + (across.z * u + down.z * v)};
    }
};

// The cells of a layer that can hold surface: nodes i0..i1 by j0..j1, inclusive.
struct node_window_t {
    std::size_t i0 = 0, i1 = 0, j0 = 0, j1 = 0;
    bool empty() const { return i0 > i1 || j0 > j1; }
};

class tetra_mesher_t {
public:
    // Allocates the edge tables: throws std::bad_alloc when it cannot.
    tetra_mesher_t(std::size_t nu, std::size_t nv, surface_mesh_t& mesh);

    // Adds the triangles between two consecutive layers, lower first, from
    // the cells whose corners all lie in `window` (every cell by default):
    // outside it the caller knows the field is negative on both layers.
    // False when the mesh would outgrow its 32-bit point indices.
    bool add_slab(const field_layer_t& lower, const field_layer_t& upper);
    bool add_slab(const field_layer_t& lower, const field_layer_t& upper, const node_window_t& window);

private:
    static constexpr std::uint32_t none = 0xffffffffu;
    // Points already made on a node's edges; valid only while the stamp is
    // the layer's (or the slab's), so moving on to a new layer costs nothing.
    template <std::size_t N>
    struct edge_points_t {
        std::array<std::uint32_t, N> point{};
        std::uint32_t stamp = 0;
    };
    std::uint32_t edge_point(std::size_t i, std::size_t j, int from, int direction);

    std::size_t nu_, nv_;
    surface_mesh_t& mesh_;
    const field_layer_t* lower_ = nullptr;
    const field_layer_t* upper_ = nullptr;
    // Points on the edges lying within the lower and the upper layer (x, y,
    // diagonal), and on the edges from the lower layer up (z, xz, yz, xyz).
    std::vector<edge_points_t<3>> lower_flat_, upper_flat_;
    std::vector<edge_points_t<4>> rising_;
    std::vector<std::uint8_t> signs_;  // per node: bit 0 inside on the lower layer, bit 1 on the upper
    std::uint32_t lower_stamp_ = 0, upper_stamp_ = 0, slab_stamp_ = 0, next_stamp_ = 1;
    bool overflow_ = false;
};
