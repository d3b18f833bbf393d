// Progress of a long kestrane-tool command, on standard error so results on
// standard output stay clean: nothing for the first second (short commands
// stay silent), then a bar redrawn in place on a terminal, or a plain line
// every tenth of the way when the output goes to a file or pipe; nothing at
// all when quiet. Ctrl-C (or SIGTERM) makes the next progress check answer
// "cancel", so the work stops at its next step and files written through the
// safe writer are never left half-written; a second Ctrl-C ends the program
// at once.
#pragma once

#include <chrono>

#include "common/interaction.h"

class terminal_progress_t : public headless_interaction_t {
public:
    explicit terminal_progress_t(bool quiet);
    ~terminal_progress_t() override;
    terminal_progress_t(const terminal_progress_t&) = delete;
    terminal_progress_t& operator=(const terminal_progress_t&) = delete;

    void progress_begin(const wxString& caption, const wxString& message, int maximum) override;
    bool progress_update(int value, const wxString& message) override;
    bool progress_pulse(const wxString& message) override;
    void progress_end() override;

    // Whether Ctrl-C or SIGTERM asked the command to stop.
    static bool stop_requested();

    // The line shown for `value` of `maximum` (-1 for an unknown share), `width` characters of bar.
    static wxString bar_text(const wxString& caption, int value, int maximum, const wxString& message, int width);

private:
    void show(int value, const wxString& message);

    using clock = std::chrono::steady_clock;
    bool quiet_ = false;
    bool terminal_ = false;
    wxString caption_;
    int maximum_ = 0;
    clock::time_point started_, last_drawn_;
    int last_tenth_ = -1;
    bool drawn_ = false;  // a bar is on the terminal's last line
    interaction_t* previous_ = nullptr;
};
