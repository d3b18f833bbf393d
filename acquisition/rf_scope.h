// The RF oscilloscope's trace: one vector of an RF frame, or the mean of a run
// of neighbouring vectors, over a run of its samples, raw or as the envelope
// the probe's quadrature filter gives, with a gain. The RF Oscilloscope page
// draws it; the settings are RES_RFSCOPE_*.
#pragma once

#include <vector>

#include "common/cip.h"
#include "rf_utility.h"

enum rf_scope_type_t : long { rf_scope_raw = 0, rf_scope_envelope = 1 };

struct rf_scope_settings_t {
    long vector = 0;       // RES_RFSCOPE_V, shown alone when averaged is 0 or 1
    long first = 0;        // RES_RFSCOPE_START_S
    long count = 0;        // RES_RFSCOPE_S; 0: to the end of the vector
    double gain_db = 0.0;  // RES_RFSCOPE_GAIN
    long type = rf_scope_raw;
    long averaged = 0;      // RES_RFSCOPE_A: 2 or more averages that many vectors
    long first_vector = 0;  // RES_RFSCOPE_START_V: the first of them
};

struct rf_trace_t {
    long vector = 0, first = 0;  // as used, after bringing them inside the frame
    long vectors = 1;            // vectors averaged, from `vector` on
    bool envelope = false;
    // Each sample times the gain: raw in -32768..32767 units, envelopes from 0 up.
    std::vector<double> values;
};

// The settings from RES_RFSCOPE_*.
rf_scope_settings_t rf_scope_settings_from_resources();

// The trace of `frame` (samples vector after vector, width vectors of height
// samples). A vector or start beyond the frame shows the last one; a run of
// averaged vectors stops at the frame's last vector. Averaged raw traces are
// the mean of the samples; averaged envelopes the mean of each vector's
// envelope, as echoes that do not line up in phase still add. Envelopes need
// taps; without them (no usable probe) the rectified samples are shown.
// False for a frame without samples.
bool rf_trace(const cip_t& frame, const rf_scope_settings_t& settings, const rf_utility::taps_t* taps, rf_trace_t* out);
