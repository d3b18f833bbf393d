// What follows a live recording frame by frame without being part of it (the
// image-based auto-correction): told when recording starts, of each frame
// appended, of each sweep's end and of frames taken away.
#pragma once

class recording_observer_t {
public:
    virtual ~recording_observer_t() = default;
    virtual void recording_started() {}
    virtual void frame_recorded(long /*frame*/) {}
    // Frames first..last make a finished sweep.
    virtual void sweep_finished(long /*first*/, long /*last*/) {}
    virtual void recording_stopped() {}
    // Frames were removed or renumbered (clear, buffered mode).
    virtual void frames_discarded() {}
};
