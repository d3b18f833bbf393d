// The frames the session captures, streamed to OpenIGTLink clients as they
// arrive: each frame as an IMAGE named "Image" placed by its probe pose and
// the probe calibration (a frame without a pose at the identity), and each
// pose as a TRANSFORM named "ProbeToReference". kestrane-tool stream sends a
// recording's frames the same way.
#pragma once

#include <cstdint>
#include <memory>

#include "common/cip.h"
#include "common/counted_array_ptr.h"
#include "common/functor.h"
#include "common/matrix16d.h"
#include "igtl_server.h"

// One frame and its pose (empty: none) as messages to every client. The
// calibration maps the image plane (cm) to the probe; sx, sy are cm per
// pixel. False when the frame could not be made a message.
bool stream_frame(igtl_server_t& server, const cip_t& frame, const counted_array_ptr<float>& pose,
                  const matrix16d& calibration, double sx, double sy, std::uint64_t ticks);

// Streams the live frames while it exists (the Configure menu's Streaming).
class igtl_live_stream_t {
public:
    explicit igtl_live_stream_t(igtl_server_t& server);
    ~igtl_live_stream_t();
    igtl_live_stream_t(const igtl_live_stream_t&) = delete;
    igtl_live_stream_t& operator=(const igtl_live_stream_t&) = delete;

private:
    void FrameWithPose();
    void FrameAlone();

    igtl_server_t& server_;
    std::unique_ptr<pmf_functor<igtl_live_stream_t>> paired_, alone_;
    std::uint64_t last_paired_ = 0;  // master-clock ticks of the last frame that came with a pose
};
