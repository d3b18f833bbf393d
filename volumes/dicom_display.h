// How DICOM frames are shown: each frame keeps its 16-bit values and shows
// them through the display window (RES_DICOM_WIN_CENTRE, RES_DICOM_WIN_WIDTH
// in Hounsfield units via RES_DICOM_HUM and RES_DICOM_HUB), optionally
// smoothed first (RES_DICOM_FILTER). The service re-windows the frames held
// when a setting changes; while the user drags the window only the frame on
// screen follows, the rest when the drag ends.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "common/cip.h"
#include "common/functor.h"
#include "volumes/dicom_window.h"
#include "volumes/slice_recording.h"

// Every kept value's grey level under one window (padding not applied).
class window_table_t {
public:
    explicit window_table_t(const dicom_window_t& w);
    std::uint8_t operator[](std::uint16_t v) const { return levels_[v]; }

private:
    std::array<std::uint8_t, 65536> levels_;
};

// Sets centre and width together: the frames are windowed once, not once for each.
void write_dicom_window(double centre, double width);

// The window the resources set (their pending values while a file is read).
dicom_window_t dicom_window_from_resources(const std::optional<std::uint16_t>& padding, bool pending = false);

// The mean over the (2 size + 1)-pixel square around each pixel, padding
// left out of every mean and kept where it was. `in` and `out` hold
// width x height values and must not overlap.
void filter_dicom(std::span<const std::uint16_t> in, std::span<std::uint16_t> out, long width, long height, long size,
                  const std::optional<std::uint16_t>& padding);

// A frame's display image from its values; padding is tested on the
// unfiltered value and shows as 1. Frames without values are left alone.
void window_frame(const cip_t& frame, const window_table_t& table, const std::optional<std::uint16_t>& padding,
                  long filter);

// The window after a Drag-tool drag of (dx, dy) pixels from `start`: the
// width grows by a factor e every 128 pixels right (shrinks left, never
// below 1), the centre rises by 1/256 of the starting width a pixel down:
// fine on narrow windows, quick on wide ones.
window_preset_t dragged_window(const window_preset_t& start, int dx, int dy);

// Every frame through the window, the work shared by two threads.
void window_frames(const std::vector<cip_t>& frames, const window_table_t& table,
                   const std::optional<std::uint16_t>& padding, long filter);

class dicom_display_service_t {
public:
    // Needs the resource table and the frame buffer.
    dicom_display_service_t();
    ~dicom_display_service_t();
    dicom_display_service_t(const dicom_display_service_t&) = delete;
    dicom_display_service_t& operator=(const dicom_display_service_t&) = delete;

    // The data set's padding value and window presets, for frames loaded from now on.
    void set_data_set(const dicom_data_set_t& d) { data_set_ = d; }
    const dicom_data_set_t& data_set() const { return data_set_; }

    void begin_drag() { dragging_ = true; }
    // Brings the frames not on screen up to the window.
    void end_drag();
    // Every frame held, through the current window.
    void window_all();
    // Frames re-windowed since the service started (a drag's cost shows here).
    long frames_windowed() const { return frames_windowed_; }

private:
    void DicomWindowChanged();

    dicom_data_set_t data_set_;
    bool dragging_ = false, stale_ = false;
    long frames_windowed_ = 0;
    std::unique_ptr<base_functor> changed_;
};

// The service in force, or null (tests without one).
extern dicom_display_service_t* dicom_display;
