// The live RF window: the part of a digitiser's frame that is kept
// (RES_RF_VECTOR_OFFSET, RES_RF_SAMPLE_OFFSET) and its size (RES_RF_VECTORS,
// RES_RF_SAMPLES). The size is also that of every RF frame held, and the
// recording file describes them by it, so it cannot change while RF frames
// are held. The image source dialog and the RF sources write the window here.
#pragma once

#include <wx/string.h>

#include "rf_utility.h"

// Empty when RES_RF_VECTORS and RES_RF_SAMPLES may change; else why not, in
// words for the user.
wxString rf_size_lock_reason();

// The window now in force.
rf_utility::window_t current_rf_window();

// Writes the window as pending values; the caller runs the change pass.
// False, with the reason logged and nothing written, for an offset below 0,
// a size below 1 vector or sample, or a size other than that of the RF frames held.
bool write_rf_window(const rf_utility::window_t& window);
