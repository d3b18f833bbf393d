#include "probe_calibration.h"

#include "resource_table.h"

void write_probe_calibration(const std::array<double, 6>& pose, double sx, double sy)
{
    res->RES_XSCALE->write(sx);
    res->RES_YSCALE->write(sy);
    res->RES_XTRANS->write(pose[0]);
    res->RES_YTRANS->write(pose[1]);
    res->RES_ZTRANS->write(pose[2]);
    res->RES_AZIMUTH->write(pose[3]);
    res->RES_ELEVATION->write(pose[4]);
    res->RES_ROLL->write(pose[5]);
}

matrix16d probe_calibration_matrix()
{
    matrix16d calibration;
    calibration.forward(res->RES_XTRANS->value(), res->RES_YTRANS->value(), res->RES_ZTRANS->value(),
                        res->RES_AZIMUTH->value(), res->RES_ELEVATION->value(), res->RES_ROLL->value());
    return calibration;
}
