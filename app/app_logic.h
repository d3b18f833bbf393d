// The decisions of the main window that need no window: the command line,
// the configuration lock, the rate label and the play-back clock. Kept apart
// so that they are tested without a display.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <wx/string.h>

// What the command line asks for.
struct command_line_t {
    wxString settings_dir;   // empty: the home directory
    wxString file;           // recording (.ks, or .kvi turned into .ks) or template to open
    bool is_template = false;
    wxString script;         // a script to run
    bool exit_after_script = false;
};
command_line_t parse_command_line(const std::vector<wxString>& args);  // args[0] is the program

// The access password check: answers are compared in lower case with the
// stored password or the master code.
bool password_accepted(const wxString& answer, const wxString& stored);
inline constexpr const char* master_code = "9fern&k";

// The information label: "%li frames " then "recorded." or "at %.0lf per second.".
// A negative rate or count keeps the one shown last.
class info_label_t {
public:
    wxString update(double frames_per_second, long frames);

private:
    double rate_ = 0.0;
    long frames_ = 0;
};

// Where the slider stands, for the status bar: "Frame N of M" counting from 1,
// empty without frames.
wxString frame_position_text(long current, long frames);

// The rate of frames counted over an interval, or nothing when the interval
// is not positive (the shown rate stays as it was).
std::optional<double> frame_rate(std::int64_t counted, std::uint64_t first_time, std::uint64_t latest_time);

// Play-back: decides when the next frame is due. The offset ties recorded time
// to the master clock, and is clamped so that no gap makes the viewer wait
// more than 2 s.
class playback_clock_t {
public:
    static constexpr std::int64_t max_wait = 20000000;  // 2 s in 100 ns ticks
    void start(std::uint64_t now, std::uint64_t frame_time);
    // True when the frame with time stamp `next_frame_time` is due at `now`.
    bool next_due(std::uint64_t now, std::uint64_t next_frame_time);
    std::int64_t offset() const { return offset_; }

private:
    std::int64_t offset_ = 0;
};
