#include "calib_internals.h"

#include <algorithm>
#include <cmath>

#include <wx/log.h>

#include "calibration/recording_lines.h"
#include "common/pos_stat.h"
#include "resources/resource_table.h"

namespace {

constexpr std::size_t max_roi_vertices = 20;
// Lines steeper than this (rows between their ends) do not serve temporal calibration.
constexpr double steepest_temporal_line = 30.0;

}  // namespace

calib_internals::calib_internals()
{
    settings_changed_ = std::make_unique<pmf_functor<calib_internals>>(this, &calib_internals::change_line_detect);
    for (base_res_t* r : std::initializer_list<base_res_t*>{
             res->RES_BUF_WIDTH, res->RES_BUF_HEIGHT, res->RES_CAL_SIGMA, res->RES_CAL_STRIPES, res->RES_CAL_MINGRAD,
             res->RES_CAL_PIXTHRESH, res->RES_CAL_INVERT, res->RES_CAL_ACCEPT_RATIO})
        r->add_proc(settings_changed_.get());
    position_arrived_ = std::make_unique<pmf_functor<calib_internals>>(this, &calib_internals::position_event);
    change_line_detect();
}

calib_internals::~calib_internals() = default;  // the functors unhook themselves

void calib_internals::change_line_detect()
{
    // A new size or new settings: new kernels and the whole image as the region.
    detector_ = std::make_unique<line_detector_t>(res->RES_BUF_WIDTH->value(), res->RES_BUF_HEIGHT->value(),
                                                  line_settings_from_session());
    vertices_.clear();
    defining_ = false;
    res->RES_CALIB_DEFINING_ROI->write(false);
    latest_line_ = {};
    latest_status_ = {};
    res->RES_CALIB_LINE_AVAIL->write(false);
}

void calib_internals::start_defining_roi()
{
    vertices_.clear();
    defining_ = true;
    res->RES_CALIB_DEFINING_ROI->write(true);
    res->RES_CAL_MESSAGE_1->write("Left mouse: define region.");
    res->RES_CAL_MESSAGE_2->write("Right mouse: last point.");
    res->RES_CALIB_LINE_AVAIL->write(false);
}

void calib_internals::click_roi(long x, long y, bool right_button)
{
    if (!defining_)
        return;
    const long w = std::max(detector_->width(), 1L), h = std::max(detector_->height(), 1L);
    const std::pair<long, long> vertex{std::clamp(x, 0L, w - 1), std::clamp(y, 0L, h - 1)};
    if (!right_button) {
        if (vertices_.size() + 1 >= max_roi_vertices) {
            res->RES_CAL_MESSAGE_1->write("Now choose final point.");
            return;
        }
        vertices_.push_back(vertex);
        return;
    }
    if (vertices_.size() >= max_roi_vertices)
        return;
    vertices_.push_back(vertex);
    if (vertices_.size() < 3)
        return;
    detector_->set_region(vertices_);
    defining_ = false;
    res->RES_CALIB_DEFINING_ROI->write(false);
    res->RES_CAL_MESSAGE_1->write("");
    res->RES_CAL_MESSAGE_2->write("");
}

void calib_internals::default_roi()
{
    detector_->default_region();
    vertices_.clear();
    defining_ = false;
    res->RES_CALIB_DEFINING_ROI->write(false);
}

void calib_internals::display_line_detection(const cip_t& image, const counted_array_ptr<float>& pose,
                                             std::uint64_t time)
{
    if (image.width() != res->RES_BUF_WIDTH->value() || image.height() != res->RES_BUF_HEIGHT->value())
        return;
    latest_status_ = {};
    if (defining_) {
        latest_line_ = {};
        latest_status_.decision = 2;
        res->RES_CAL_MESSAGE_2->write("Invalid best fit line");
        res->RES_CALIB_LINE_AVAIL->write(false);
    } else {
        latest_line_ = detector_->detect(image);
        latest_status_.decision = latest_line_.accepted ? 1 : 2;
        latest_status_.x1 = float(latest_line_.x1);
        latest_status_.x2 = float(latest_line_.x2);
        latest_status_.y1 = float(latest_line_.y1);
        latest_status_.y2 = float(latest_line_.y2);
        if (!latest_line_.message.empty())
            res->RES_CAL_MESSAGE_2->write(latest_line_.message);
    }
    bool posed = pose && pose.size() >= 6;
    for (std::size_t i = 0; posed && i < 6; ++i) {
        posed = std::isfinite(pose[i]);
        latest_status_.position[i] = posed ? pose[i] : 0.0f;
    }
    // A line without the pose of its frame cannot serve the solve.
    if (!posed && latest_status_.decision == 1)
        latest_status_.decision = 2;
    res->RES_CALIB_LINE_AVAIL->write(latest_status_.decision == 1);

    if (temporal_.running()) {
        const bool usable = latest_line_.accepted &&
                            std::fabs(double(latest_line_.y1) - double(latest_line_.y2)) <= steepest_temporal_line;
        temporal_.add_frame(
            usable ? std::optional<double>(0.5 * double(latest_line_.y1 + latest_line_.y2)) : std::nullopt, time);
        show_temporal_state();
    }
}

void calib_internals::display_point_detection(const cip_t& image, const counted_array_ptr<float>& pose,
                                              const vertex3d& tip)
{
    latest_point_.reset();
    latest_tip_.reset();
    if (defining_) {
        res->RES_CAL_MESSAGE_2->write("Invalid point");
        res->RES_CALIB_POINT_AVAIL->write(false);
        return;
    }
    res->RES_CAL_MESSAGE_2->write("");
    if (image.width() == detector_->width() && image.height() == detector_->height())
        latest_tip_ = detect_stylus_tip(image, detector_->region_rows());
    else
        latest_tip_ = detect_stylus_tip(image);
    bool usable = latest_tip_ && pose && pose.size() >= 6 && std::isfinite(tip.x + tip.y + tip.z);
    if (usable) {
        point_status_t p;
        p.u = latest_tip_->tip.x;
        p.v = latest_tip_->tip.y;
        for (std::size_t i = 0; i < 6; ++i) {
            p.pose[i] = pose[i];
            usable = usable && std::isfinite(pose[i]);
        }
        p.tip = tip;
        p.angle = latest_tip_->angle;
        if (usable)
            latest_point_ = p;
    }
    res->RES_CALIB_POINT_AVAIL->write(latest_point_.has_value());
}

bool calib_internals::start_temp_calib()
{
    if (!res->RES_TOGGLE_LIVE->value() || res->RES_POSITION_SOURCE->value() == SENSOR_NONE) {
        res->RES_CAL_MESSAGE_1->write("Temporal calibration needs live images and a position source.");
        return false;
    }
    temporal_.start(res->RES_TEMP_CALIB->value());
    res->RES_POSITION_CAPTURE_EVENT->add_proc(position_arrived_.get());
    show_temporal_state();
    return true;
}

void calib_internals::stop_temp_calib()
{
    res->RES_POSITION_CAPTURE_EVENT->remove_worry(position_arrived_.get());
    if (!temporal_.running())
        return;
    temporal_.stop();
    show_temporal_state();
}

void calib_internals::position_event()
{
    const std::shared_ptr<pos_stat_t>& sample = res->RES_POSITION_CAPTURE_EVENT->value();
    if (!temporal_.running() || !sample || sample->state == POS_MISSING || !sample->pose || sample->pose.size() < 3)
        return;
    temporal_.add_position({sample->pose[0], sample->pose[1], sample->pose[2]}, sample->time);
    show_temporal_state();
}

void calib_internals::show_temporal_state()
{
    if (res->RES_CAL_MESSAGE_1->value() != temporal_.message())
        res->RES_CAL_MESSAGE_1->write(temporal_.message());
    if (!temporal_.running()) {
        res->RES_POSITION_CAPTURE_EVENT->remove_worry(position_arrived_.get());
        const auto& result = temporal_.result();
        if (result && result->accepted && res->RES_TEMP_CALIB->value() != result->offset_ms)
            res->RES_TEMP_CALIB->write(result->offset_ms);
    }
}
