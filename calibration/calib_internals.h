// The live side of probe calibration, for the Probe calib and Cal with
// pointer pages: the detection settings and region of interest kept in step
// with the resources, the floor line or stylus tip found in each live frame
// shown, and temporal calibration fed by the position stream. Headless: the
// pages and the review window call it and draw what it found.
#pragma once

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "calibration/line_detection.h"
#include "calibration/plane_calibration.h"
#include "calibration/point_calibration.h"
#include "calibration/point_detection.h"
#include "calibration/temporal_calibration.h"
#include "common/counted_array_ptr.h"
#include "common/functor.h"

class calib_internals {
public:
    calib_internals();
    ~calib_internals();
    calib_internals(const calib_internals&) = delete;
    calib_internals& operator=(const calib_internals&) = delete;

    // Region of interest, in canvas pixels (x right, y up from the bottom row).
    // While it is defined no line is detected.
    void start_defining_roi();
    // A left click adds a vertex (up to 19); a right click adds the last one
    // and, from three vertices on, closes the region. Clicks are clamped into
    // the image.
    void click_roi(long x, long y, bool right_button);
    void default_roi();
    bool defining_roi() const { return defining_; }
    const std::vector<std::pair<long, long>>& roi_vertices() const { return vertices_; }

    // A live frame shown on the Probe calib page with its probe pose and time
    // (100 ns ticks). Frames of another size than RES_BUF_WIDTH x
    // RES_BUF_HEIGHT are ignored.
    void display_line_detection(const cip_t& image, const counted_array_ptr<float>& pose, std::uint64_t time);
    const frame_status_t& latest_status() const { return latest_status_; }
    const detected_line_t& latest_line() const { return latest_line_; }

    // A live frame shown on the Cal with pointer page, with the probe pose and
    // the stylus tip in the world (cm).
    void display_point_detection(const cip_t& image, const counted_array_ptr<float>& pose, const vertex3d& tip);
    const std::optional<point_status_t>& latest_point() const { return latest_point_; }
    const std::optional<stylus_tip_t>& latest_tip() const { return latest_tip_; }

    // Temporal calibration: needs live images and a position source; false
    // with the reason in RES_CAL_MESSAGE_1 otherwise.
    bool start_temp_calib();
    void stop_temp_calib();
    bool temp_calib_running() const { return temporal_.running(); }

    const line_detector_t& detector() const { return *detector_; }

private:
    void change_line_detect();
    void position_event();
    void show_temporal_state();

    std::unique_ptr<line_detector_t> detector_;
    std::vector<std::pair<long, long>> vertices_;
    bool defining_ = false;
    frame_status_t latest_status_;
    detected_line_t latest_line_;
    std::optional<point_status_t> latest_point_;
    std::optional<stylus_tip_t> latest_tip_;
    temporal_calibration_t temporal_;
    std::unique_ptr<pmf_functor<calib_internals>> settings_changed_, position_arrived_;
};
