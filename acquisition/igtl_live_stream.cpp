#include "igtl_live_stream.h"

#include <cmath>

#include "common/live_stat.h"
#include "common/vid_stat.h"
#include "resources/probe_calibration.h"
#include "resources/resource_table.h"

namespace {

// A second of master-clock ticks: frames alone are sent only when no paired frame came this recently.
constexpr std::uint64_t paired_recently = 10000000u;

}  // namespace

bool stream_frame(igtl_server_t& server, const cip_t& frame, const counted_array_ptr<float>& pose,
                  const matrix16d& calibration, double sx, double sy, std::uint64_t ticks)
{
    matrix16d image_to_world;  // the identity when there is no pose
    bool posed = !pose.empty() && pose.size() >= 6;
    if (posed) {
        for (std::size_t i = 0; i < 6; ++i)
            posed = posed && std::isfinite(pose[i]);
    }
    if (posed) {
        matrix16d probe;
        probe.forward(pose.get());
        image_to_world = probe * calibration;
        server.publish(pack_igtl_transform(igtl_probe_device, probe, ticks));
    }
    const igtl_bytes_t image = pack_igtl_image(igtl_image_device, frame, image_to_world, sx, sy, ticks);
    server.publish(image);
    return image != nullptr;
}

igtl_live_stream_t::igtl_live_stream_t(igtl_server_t& server) : server_(server)
{
    paired_ = std::make_unique<pmf_functor<igtl_live_stream_t>>(this, &igtl_live_stream_t::FrameWithPose);
    alone_ = std::make_unique<pmf_functor<igtl_live_stream_t>>(this, &igtl_live_stream_t::FrameAlone);
    res->RES_LIVE_POS_CAPTURE_EVENT->add_proc(paired_.get());
    res->RES_VIDEO_CAPTURE_EVENT->add_proc(alone_.get());
}

igtl_live_stream_t::~igtl_live_stream_t()
{
    if (!res)
        return;
    res->RES_LIVE_POS_CAPTURE_EVENT->remove_worry(paired_.get());
    res->RES_VIDEO_CAPTURE_EVENT->remove_worry(alone_.get());
}

void igtl_live_stream_t::FrameWithPose()
{
    const auto& paired = res->RES_LIVE_POS_CAPTURE_EVENT->value();
    if (!paired || !paired->frame || paired->frame->image.empty())
        return;
    last_paired_ = paired->frame->time;
    stream_frame(server_, paired->frame->image, paired->probe_pose, probe_calibration_matrix(), res->RES_XSCALE->value(),
                 res->RES_YSCALE->value(), paired->frame->time);
}

void igtl_live_stream_t::FrameAlone()
{
    const auto& frame = res->RES_VIDEO_CAPTURE_EVENT->value();
    // With a tracker running the same frame comes again with its pose.
    if (!frame || frame->image.empty() || (last_paired_ != 0 && frame->time < last_paired_ + paired_recently))
        return;
    stream_frame(server_, frame->image, {}, probe_calibration_matrix(), res->RES_XSCALE->value(), res->RES_YSCALE->value(),
                 frame->time);
}
