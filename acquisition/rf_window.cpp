#include "rf_window.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include <wx/log.h>

#include "common/dynabuf.h"
#include "resources/resource_table.h"

namespace {

long clamp_long(std::int64_t v)
{
    return static_cast<long>(std::clamp<std::int64_t>(v, std::numeric_limits<long>::min(), std::numeric_limits<long>::max()));
}

}  // namespace

wxString rf_size_lock_reason()
{
    if (!res->RES_BUF_RF->value() || !bufp || bufp->frames() == 0)
        return {};
    return wxString::Format("The %ld RF frames held are %ld vectors of %ld samples; start a new recording to change "
                            "the RF frame size.",
                            bufp->frames(), clamp_long(res->RES_RF_VECTORS->value()),
                            clamp_long(res->RES_RF_SAMPLES->value()));
}

rf_utility::window_t current_rf_window()
{
    return {clamp_long(res->RES_RF_VECTOR_OFFSET->value()), clamp_long(res->RES_RF_SAMPLE_OFFSET->value()),
            clamp_long(res->RES_RF_VECTORS->value()), clamp_long(res->RES_RF_SAMPLES->value())};
}

bool write_rf_window(const rf_utility::window_t& w)
{
    if (w.vector_offset < 0 || w.sample_offset < 0) {
        wxLogWarning("The RF window is not changed: its first vector (%ld) and first sample (%ld) cannot be negative.",
                     w.vector_offset, w.sample_offset);
        return false;
    }
    // A frame's sample count travels in 32-bit fields of the live frames.
    if (w.vectors < 1 || w.samples < 1 || w.vectors > std::numeric_limits<std::int32_t>::max() / w.samples) {
        wxLogWarning("The RF window is not changed: %ld vectors of %ld samples is not a frame size that can be kept.",
                     w.vectors, w.samples);
        return false;
    }
    const rf_utility::window_t now = current_rf_window();
    const wxString locked = rf_size_lock_reason();
    if ((w.vectors != now.vectors || w.samples != now.samples) && !locked.empty()) {
        // Frames of another size would no longer match the recording's description of them.
        wxLogWarning("RES_RF_VECTORS and RES_RF_SAMPLES are not changed to %ld by %ld. %s", w.vectors, w.samples,
                     locked);
        return false;
    }
    res->RES_RF_VECTOR_OFFSET->write_no_changeprocs(w.vector_offset);
    res->RES_RF_SAMPLE_OFFSET->write_no_changeprocs(w.sample_offset);
    res->RES_RF_VECTORS->write_no_changeprocs(w.vectors);
    res->RES_RF_SAMPLES->write_no_changeprocs(w.samples);
    return true;
}
