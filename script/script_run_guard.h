// What holds while a script runs, so that a run never waits on a person: a
// question takes its unattended answer (said in the script's messages), the
// progress of operations inside a command is not shown (the script's own
// progress is), and errors and warnings the program logs become the script's
// messages instead of message boxes. Undone when the guard goes.
#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <wx/log.h>

#include "common/interaction.h"

class script_run_guard_t {
public:
    using note_t = std::function<void(const wxString&)>;

    // note receives a line for each question answered unattended.
    explicit script_run_guard_t(note_t note);
    ~script_run_guard_t();
    script_run_guard_t(const script_run_guard_t&) = delete;
    script_run_guard_t& operator=(const script_run_guard_t&) = delete;

    // The interaction that was in force: the script's progress goes there.
    interaction_t& outer() { return *outer_; }

    // Errors and warnings logged since the last call, oldest first.
    std::vector<std::pair<wxLogLevel, wxString>> take_logged();

private:
    class unattended_t;
    class capture_t;
    std::unique_ptr<unattended_t> unattended_;
    std::unique_ptr<capture_t> capture_;
    interaction_t* outer_ = nullptr;
    wxLog* previous_log_ = nullptr;
};
