// Showing a correction in the recording before it is accepted, and taking it
// out again.
#include <wx/log.h>

#include "common/dynabuf.h"
#include "correction/image_correlation.h"
#include "resources/resource_table.h"

bool image_correlation::show()
{
    if (shown_)
        return true;
    std::vector<corr_t> before = result_;
    std::vector<counted_array_ptr<float>> poses;
    for (const corr_t& r : result_)
        poses.push_back(bufp->positioncp(static_cast<long>(r.frame)));
    const bool pos = res->RES_CORRECTED_POS->value(), pressure = res->RES_CORRECTED_PRESSURE->value();
    if (!apply())
        return false;
    kept_ = std::move(before);
    kept_poses_ = std::move(poses);
    kept_corrected_pos_ = pos;
    kept_corrected_pressure_ = pressure;
    shown_ = true;
    return true;
}

bool image_correlation::hide()
{
    if (!shown_)
        return false;
    shown_ = false;
    // Another recording, or frames edited since: the kept data belong to
    // nothing held now and must not be written into it.
    if (!matches_recording()) {
        wxLogWarning("The recording's frames have changed since the correction was applied: it was dropped.");
        kept_.clear();
        kept_poses_.clear();
        invalidate();
        return false;
    }
    for (std::size_t i = 0; i < kept_.size(); ++i) {
        const long f = static_cast<long>(kept_[i].frame);
        bufp->set_position(f, kept_poses_[i]);
        if (pressure_)
            bufp->set_image(f, kept_[i].source);
    }
    result_ = std::move(kept_);
    kept_.clear();
    kept_poses_.clear();
    res->RES_CORRECTED_POS->write_no_changeprocs(kept_corrected_pos_);
    res->RES_CORRECTED_PRESSURE->write_no_changeprocs(kept_corrected_pressure_);
    res->IM->write_no_changeprocs();
    base_res_t::make_pending_writes_happen();
    return true;
}
