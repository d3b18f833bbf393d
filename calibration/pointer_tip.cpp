#include "pointer_tip.h"

#include <cmath>

#include "common/matrix16d.h"
#include "resources/resource_table.h"

std::optional<vertex3d> pointer_tip_in_world(const counted_array_ptr<float>& pose)
{
    if (!pose || pose.size() < 6)
        return std::nullopt;
    for (std::size_t i = 0; i < 6; ++i)
        if (!std::isfinite(pose[i]))
            return std::nullopt;
    matrix16d m;
    m.forward(pose.get());
    const bool second = res->RES_POINTER_SOURCE->value() == 5;
    return m * vertex3d{second ? res->RES_POINTCAL_XTRANS->value() : res->RES_POINTER_XTRANS->value(),
                        second ? res->RES_POINTCAL_YTRANS->value() : res->RES_POINTER_YTRANS->value(),
                        second ? res->RES_POINTCAL_ZTRANS->value() : res->RES_POINTER_ZTRANS->value()};
}
