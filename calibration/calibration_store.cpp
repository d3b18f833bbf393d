#include "calibration_store.h"

#include <wx/config.h>
#include <wx/datetime.h>

#include "calibration/plane_calibration.h"
#include "calibration/point_calibration.h"
#include "resources/probe_calibration.h"
#include "resources/resource_table.h"

wxString calibration_date_text()
{
    return wxDateTime::Now().Format("%A, %d %B %Y");
}

bool store_plane_calibration(const plane_solve& solution)
{
    const plane_solve::trial_t* t = solution.best_trial();
    if (!t)
        return false;
    res->RES_CAL_DATE->write(calibration_date_text());
    res->RES_CAL_PLANE_A->write(t->a);
    res->RES_CAL_PLANE_B->write(t->b);
    res->RES_CAL_PLANE_C->write(t->c);
    res->RES_CAL_PLANE_D->write(t->d);
    res->RES_CAL_PLANE_VALID->write(true);
    write_probe_calibration({t->tx, t->ty, t->tz, t->azimuth, t->elevation, t->roll}, solution.sx, solution.sy);
    return true;
}

bool store_point_calibration(const point_solve& solution)
{
    if (!solution.solved)
        return false;
    res->RES_CAL_DATE->write(calibration_date_text());
    write_probe_calibration(solution.pose, solution.sx, solution.sy);
    return true;
}

void store_pointer_tip(const vertex3d& tip, long pointer_source)
{
    const bool second = pointer_source == 5;
    auto* x = second ? res->RES_POINTCAL_XTRANS : res->RES_POINTER_XTRANS;
    auto* y = second ? res->RES_POINTCAL_YTRANS : res->RES_POINTER_YTRANS;
    auto* z = second ? res->RES_POINTCAL_ZTRANS : res->RES_POINTER_ZTRANS;
    auto* date = second ? res->RES_POINTCAL_CAL_DATE : res->RES_POINTER_CAL_DATE;
    x->write(tip.x);
    y->write(tip.y);
    z->write(tip.z);
    date->write(calibration_date_text());
    // A pointer calibration belongs to the pointer, not to a recording: the
    // settings (where these values went as they changed) are written at once.
    if (wxConfigBase* store = base_res_t::settings_store())
        store->Flush();
}

void store_isocentre(const std::array<double, 6>& pose)
{
    res->RES_ISOCENTRE_XTRANS->write(pose[0]);
    res->RES_ISOCENTRE_YTRANS->write(pose[1]);
    res->RES_ISOCENTRE_ZTRANS->write(pose[2]);
    res->RES_ISOCENTRE_AZIMUTH->write(pose[3]);
    res->RES_ISOCENTRE_ELEVATION->write(pose[4]);
    res->RES_ISOCENTRE_ROLL->write(pose[5]);
    res->RES_ISOCENTRE_CAL_DATE->write(calibration_date_text());
}
