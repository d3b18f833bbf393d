// Lowering a reslice's in-plane resolution by a whole step for a voxel
// export: output pixel (i, j) stands for reslice pixel (i k, j k).
#pragma once

#include <cstdint>
#include <vector>

enum class voxel_step_rule_t {
    // The mean of the K x K box centred on the kept pixel (for an even K the
    // box's edge pixels count half, so it stays centred and K wide). Pixels
    // without data (0) are left out of the mean: a voxel has no data only
    // when none of its pixels has. Speckle averages down as the voxel grows.
    average,
    // The kept pixel alone: the only sensible rule for colour-flow codes.
    skip,
};

// `full` is w x h; `out` becomes out_w x out_h with out_w = floor((w - 1) / k) + 1
// (likewise the height). False (logged) when the sizes do not agree.
bool reduce_slice(const std::vector<std::uint8_t>& full, long w, long h, int k, voxel_step_rule_t rule, long out_w,
                  long out_h, std::vector<std::uint8_t>& out);
