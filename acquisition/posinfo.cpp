#include "acquisition/posinfo.h"

#include <algorithm>

#include <wx/log.h>

#include "acquisition/ascension_driver.h"
#include "acquisition/igtl_tracker_driver.h"
#include "acquisition/polaris_driver.h"
#include "acquisition/polhemus_driver.h"
#include "common/interaction.h"
#include "common/timestamp.h"
#include "resources/resource_table.h"

namespace {

constexpr std::uint64_t min_action_gap = 100000;    // 10 ms between idle actions
constexpr std::uint64_t min_pointer_gap = 500000;   // 50 ms between pointer events
constexpr std::uint64_t ticks_per_ms = 10000;
constexpr int max_samples_per_step = 256;

bool seeks(pos_detect_t detect, std::initializer_list<pos_detect_t> kinds)
{
    if (detect == POS_DETECT_AUTO)
        return true;
    for (const pos_detect_t k : kinds)
        if (k == detect)
            return true;
    return false;
}

wxString tool_suffix(int tool)
{
    static const char* relative[] = {"1 re 2", "1 re 3", "2 re 1", "2 re 3", "3 re 1", "3 re 2"};
    if (tool >= 1 && tool <= 3)
        return wxString::Format(" on tool %d", tool);
    if (tool >= 4 && tool <= 9)
        return wxString(" on tool ") + relative[tool - 4];
    if (tool >= 10 && tool <= 16)
        return wxString::Format(" on tool %d", tool - 6);
    if (tool != 0)
        wxLogDebug("Weird tool in display_init_outcome.\n");
    return {};
}

wxString pointer_suffix(int pointer)
{
    if (pointer >= 1 && pointer <= 3)
        return wxString::Format(", pointer on tool %d", pointer);
    if (pointer >= 10 && pointer <= 16)
        return wxString::Format(", pointer on tool %d", pointer - 6);
    if (pointer != 0)
        wxLogDebug("Weird pointer in display_init_outcome.\n");
    return {};
}

}  // namespace

posinfo* pos = nullptr;

wxString detection_outcome_text(sensor_t found, pos_detect_t sought, int tool, int pointer)
{
    switch (found) {
    case SENSOR_FASTRAK: return "Fastrak successfully initialised";
    case SENSOR_LIBERTY: return "Liberty/Patriot successfully initialised";
    case SENSOR_ASCENSION: return "Bird or Star successfully initialised" + tool_suffix(tool) + pointer_suffix(pointer);
    case SENSOR_POLARIS: return "Polaris successfully initialised" + tool_suffix(tool) + pointer_suffix(pointer);
    case SENSOR_OPTITRACK: return "Optitrack successfully initialised" + tool_suffix(tool) + pointer_suffix(pointer);
    case SENSOR_OPENIGTLINK: return "OpenIGTLink tracking connected";
    case SENSOR_NONE: break;
    default: wxLogDebug("Weird sensor in display_init_outcome.\n"); return {};
    }
    static const char* failures[] = {
        "No position sensor found",         "Fastrak initialisation failed",   "Liberty/Patriot initialisation failed",
        "Flock of birds initialisation failed", "MiniBird initialisation failed", "LaserBird initialisation failed",
        "Polaris initialisation failed",    "Optitrack initialisation failed", "trakSTAR initialisation failed",
        "OpenIGTLink connection failed",
    };
    if (sought < 0 || sought > POS_DETECT_OPENIGTLINK) {
        wxLogDebug("Weird sensor in display_init_outcome.\n");
        return failures[0];
    }
    return failures[sought];
}

posinfo::posinfo(interaction_t& ui, clock_t clock) : ui_(ui), clock_(std::move(clock))
{
    if (!clock_)
        clock_ = [] { return master_clock ? master_clock->hundred_ns_time() : timestamp::wall_clock_now(); };
    refresh_latency();
    pos_init(res->RES_SERIAL_SPEED->value(), res->RES_SERIAL_PORT->value(), res->RES_POS_DETECT->value(),
             res->RES_POLARIS_PORT->value(), res->RES_POLARIS_POINTER->value());
    publish();

    change_proc_ = std::make_unique<pmf_functor<posinfo>>(this, &posinfo::change_posinfo);
    res->RES_POS_REPROBE->read(change_proc_.get());
    res->RES_POS_DETECT->read(change_proc_.get());
    res->RES_SERIAL_SPEED->read(change_proc_.get());
    res->RES_SERIAL_PORT->read(change_proc_.get());
    res->RES_POLARIS_PORT->read(change_proc_.get());
    res->RES_POLARIS_POINTER->read(change_proc_.get());
    res->RES_TEMP_CALIB->read(change_proc_.get());
    res->RES_IGTL_SERVER->read(change_proc_.get());
    res->RES_IGTL_PROBE->read(change_proc_.get());

    caprun_proc_ = std::make_unique<pmf_functor<posinfo>>(this, &posinfo::pos_caprun_changed);
    res->RES_POSITION_CAPTURE_EVENT->read_worrylist_length(caprun_proc_.get());
    res->RES_POINTER_CAPTURE_EVENT->read_worrylist_length(caprun_proc_.get());
    idle_proc_ = std::make_unique<pmf_functor<posinfo>>(this, &posinfo::activ_posinfo);
    pos_caprun_changed();  // listeners may already be waiting
}

posinfo::~posinfo()
{
    if (running_)
        stop_posinfo();
    idle_proc_.reset();
    caprun_proc_.reset();
    change_proc_.reset();
    if (driver_ && line_.is_open())
        driver_->shut_down(line_);
    line_.close_port();
}

void posinfo::refresh_latency()
{
    // Either sign: temporal calibration may find the poses ahead of the images.
    const long ms = std::clamp<long>(static_cast<long>(res->RES_TEMP_CALIB->value()), -max_latency_ms, max_latency_ms);
    latency_ = static_cast<std::int64_t>(ms) * static_cast<std::int64_t>(ticks_per_ms);
}

void posinfo::show_alert(const wxString& text, alert_t colour)
{
    res->RES_ALERT_STRING->write(text);
    res->RES_ALERT_COLOUR->write(colour);
}

sensor_t posinfo::pos_init(long speed, const wxString& port, pos_detect_t detect, int tool, int pointer)
{
    if (running_)
        stop_posinfo();
    show_alert(" ", ALERT_NORMAL);
    driver_.reset();
    pointer_tool_ = pointer;
    // OptiTrack is a kind one may choose, but this program cannot drive it.
    if (detect == POS_DETECT_OPTITRACK) {
        show_alert(detection_outcome_text(SENSOR_NONE, detect, tool, pointer), ALERT_WARNING);
        return SENSOR_NONE;
    }

    tracker_config_t config;
    config.speed = speed;
    config.detect = detect;
    config.tool = tool;
    config.pointer = pointer;
    config.exec_dir = res->RES_EXEC_DIR->value();
    config.server = res->RES_IGTL_SERVER->value();
    config.probe_device = res->RES_IGTL_PROBE->value();

    std::unique_ptr<tracker_driver_t> found;
    // No port chosen means no tracker is wanted: nothing to open or complain about.
    const bool have_port = !wxString(port).Trim(true).Trim(false).empty();
    if (detect == POS_DETECT_OPENIGTLINK) {
        auto network = std::make_unique<igtl_tracker_driver_t>(clock_);
        if (network->probe(line_, config, ui_))
            found = std::move(network);
    } else if (have_port && line_.open_port(port) && line_.set_params(speed, 8, 0, 0, 0)) {
        line_.set_record_length(serial_t::buffer_size, 0);
        const auto attempt = [&](std::unique_ptr<tracker_driver_t> candidate) {
            if (!found && candidate->probe(line_, config, ui_))
                found = std::move(candidate);
        };
        if (seeks(detect, {POS_DETECT_FASTRAK}))
            attempt(std::make_unique<fastrak_driver_t>());
        if (seeks(detect, {POS_DETECT_FLOCK, POS_DETECT_MINI, POS_DETECT_LASER, POS_DETECT_STAR}))
            attempt(std::make_unique<ascension_driver_t>());
        if (seeks(detect, {POS_DETECT_PATRIOT}))
            attempt(std::make_unique<liberty_driver_t>());
        if (!found && seeks(detect, {POS_DETECT_POLARIS}) && line_.set_params(9600, 8, 0, 0, 0)) {
            attempt(std::make_unique<polaris_driver_t>());
            // The tracker was told to change speed as its last step.
            if (found && !line_.set_params(speed, 8, 0, 0, 0))
                found.reset();
        }
    }
    if (!found)
        line_.close_port();
    driver_ = std::move(found);

    const sensor_t kind = sensor();
    if (driver_)
        driver_->take_alert();  // the outcome below replaces whatever detection showed on the way
    show_alert(detection_outcome_text(kind, detect, tool, pointer), kind == SENSOR_NONE ? ALERT_WARNING : ALERT_NORMAL);
    return kind;
}

void posinfo::publish()
{
    res->RES_SENSOR_VOLUME->write(std::make_shared<sensor_volume_t>(driver_ ? driver_->volume() : sensor_volume_t{}));
    const sensor_t kind = sensor();
    res->RES_POSITION_SOURCE->write(kind);
    long pointer_source = 0;
    if ((kind == SENSOR_ASCENSION || kind == SENSOR_POLARIS || kind == SENSOR_OPTITRACK) && pointer_tool_ != 0)
        pointer_source = pointer_tool_ == 3 ? 5 : kind;
    res->RES_POINTER_SOURCE->write(pointer_source);
}

void posinfo::change_posinfo()
{
    refresh_latency();
    const bool reprobe = res->RES_POS_DETECT->changed() || res->RES_SERIAL_SPEED->changed() ||
                         res->RES_SERIAL_PORT->changed() || res->RES_POS_REPROBE->changed() ||
                         res->RES_POLARIS_PORT->changed() || res->RES_POLARIS_POINTER->changed() ||
                         (res->RES_POS_DETECT->value() == POS_DETECT_OPENIGTLINK &&
                          (res->RES_IGTL_SERVER->changed() || res->RES_IGTL_PROBE->changed()));
    if (!reprobe)
        return;
    if (running_)
        stop_posinfo();
    if (driver_ && line_.is_open())
        driver_->shut_down(line_);
    line_.close_port();
    pos_init(res->RES_SERIAL_SPEED->value(), res->RES_SERIAL_PORT->value(), res->RES_POS_DETECT->value(),
             res->RES_POLARIS_PORT->value(), res->RES_POLARIS_POINTER->value());
    publish();
    // Listeners that waited for a tracker get it as soon as one is found.
    pos_caprun_changed();
}

void posinfo::pos_caprun_changed()
{
    const long listeners = res->RES_POSITION_CAPTURE_EVENT->read_worrylist_length() +
                           res->RES_POINTER_CAPTURE_EVENT->read_worrylist_length();
    if (running_ && listeners < 1)
        stop_posinfo();
    else if (!running_ && listeners > 0 && driver_)
        start_posinfo();
}

bool posinfo::ask_for_position()
{
    const std::uint64_t t = now();
    request_sent_ = t;
    request_time_ = less_latency(t);
    return driver_->ask(line_);
}

// When a sample measured at `t` was true: latency of either sign, never before 0.
std::uint64_t posinfo::less_latency(std::uint64_t t) const
{
    if (latency_ >= 0)
        return t > std::uint64_t(latency_) ? t - std::uint64_t(latency_) : 0;
    return t + std::uint64_t(-latency_);
}

bool posinfo::start_posinfo()
{
    if (!driver_) {
        wxLogError("start_posinfo: Trying to start position grabbing when no sensor has been found.");
        return false;
    }
    if (running_)
        return true;
    if (const auto alert = driver_->alert_now())
        show_alert(alert->text, alert->colour);
    watchdog_fired_ = false;
    ask_for_position();
    last_action_ = now();
    running_ = true;
    res->RES_IDLE_EVENT->read(idle_proc_.get());
    return true;
}

bool posinfo::stop_posinfo()
{
    if (!running_) {
        wxLogError("stop_posinfo: Trying to stop position grabbing when is is not running.");
        return false;
    }
    res->RES_IDLE_EVENT->remove_worry(idle_proc_.get());
    if (driver_->kind() == SENSOR_POLARIS)
        show_alert(" ", ALERT_NORMAL);
    driver_->read_reply(line_, true, tracker_wanted_t{false, false});  // the answer to the last request
    running_ = false;
    return true;
}

void posinfo::activ_posinfo()
{
    if (!running_ || !driver_)
        return;
    const std::uint64_t t = now();
    if (t - last_action_ < min_action_gap || t - request_sent_ < driver_->poll_gap_ticks())
        return;
    last_action_ = t;

    tracker_wanted_t wanted;
    wanted.probe = res->RES_POSITION_CAPTURE_EVENT->read_worrylist_length() > 0;
    wanted.pointer = res->RES_POINTER_CAPTURE_EVENT->read_worrylist_length() > 0;
    const tracker_reply_t reply = driver_->read_reply(line_, false, wanted);
    if (const auto alert = driver_->take_alert())
        show_alert(alert->text, alert->colour);
    if (!reply.received) {
        watchdog();
        return;
    }
    if (watchdog_fired_) {
        watchdog_fired_ = false;
        const auto alert = driver_->alert_now();
        show_alert(alert ? alert->text : wxString(" "), alert ? alert->colour : ALERT_NORMAL);
    }
    const std::uint64_t answered = request_time_;
    ask_for_position();
    deliver_timed(reply, answered);
    // A tracker that sends by itself may have sent several since the last step.
    for (int more = 0; more < max_samples_per_step && driver_->has_more(); ++more) {
        const tracker_reply_t next = driver_->read_reply(line_, false, wanted);
        if (!next.received)
            break;
        deliver_timed(next, answered);
    }
}

// A sample stamped by the tracker itself keeps its time, less the latency as for requests.
void posinfo::deliver_timed(const tracker_reply_t& reply, std::uint64_t answered)
{
    probe_.time = pointer_.time = reply.time != 0 ? less_latency(reply.time) : answered;
    deliver(reply);
}

void posinfo::deliver(const tracker_reply_t& reply)
{
    const auto fill = [](pos_stat_t& sample, pos_state_t state, const float (&pose)[6]) {
        sample.state = state;
        sample.pose.reset();
        if (state == POS_MISSING)
            return;
        sample.pose = counted_array_ptr<float>(6);
        for (int i = 0; i < 6; ++i)
            sample.pose[i] = pose[i];
    };
    if (reply.probe) {
        fill(probe_, reply.probe_state, reply.probe_pose);
        res->RES_POSITION_CAPTURE_EVENT->write(std::make_shared<pos_stat_t>(probe_));
    }
    if (reply.pointer) {
        const std::uint64_t t = now();
        if (t - last_pointer_event_ >= min_pointer_gap) {
            last_pointer_event_ = t;
            fill(pointer_, reply.pointer_state, reply.pointer_pose);
            res->RES_POINTER_CAPTURE_EVENT->write(std::make_shared<pos_stat_t>(pointer_));
        }
    }
}

// A reply lost on the line would otherwise stop polling for good: after a
// silence, drop what arrived, say so, and ask again.
void posinfo::watchdog()
{
    if (now() - request_sent_ < driver_->watchdog_ticks())
        return;
    line_.set_record_length(line_.record_length(), line_.terminator());  // drops unread input and any partial record
    show_alert("Position sensor is not answering - asking again", ALERT_WARNING);
    watchdog_fired_ = true;
    ask_for_position();
}

wxString posinfo::pos_status()
{
    if (!driver_)
        return "No position sensor available.";
    const bool was_running = running_;
    if (running_)
        stop_posinfo();
    const wxString report = driver_->status_report(line_, ui_);
    if (was_running)
        start_posinfo();
    return report;
}

wxImage posinfo::pos_status_image() const
{
    return driver_ ? driver_->status_image() : wxImage();
}
