// The RF digitiser (a GaGe CompuScope board) as an image source. Its driver is
// a vendor library reached through a table of entry points that this build
// never fills, so discovery finds no boards; recorded RF data are still shown
// (rf_display.h). The capture front end asks it for its sources.
#pragma once

#include <vector>

#include <wx/string.h>

// The driver's entry points; all empty until a driver is linked in.
struct gage_entry_points_t {
    int (*find_config_file)(char* path, int length) = nullptr;
    int (*initialise)() = nullptr;
    void (*remove)() = nullptr;
    int (*select_board)(int board) = nullptr;
    int (*set_capture_mode)(int mode, int channel_count) = nullptr;
    int (*set_trigger)(double level, int polarity, int source) = nullptr;
    int (*set_delay)(long samples) = nullptr;
    int (*start_capture)() = nullptr;
    int (*busy)() = nullptr;
    void (*abort)() = nullptr;
    const void* (*record_address)(long record) = nullptr;

    bool complete() const;
};

class gage_buffer {
public:
    // Names of the RF sources found: none, as no driver fills the table. The
    // first call says "No CompuScope boards found." (a diagnostic).
    std::vector<wxString> sources();
    bool available() const { return driver_.complete(); }

private:
    gage_entry_points_t driver_;
    bool told_ = false;
};
