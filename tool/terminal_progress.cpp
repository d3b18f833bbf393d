#include "terminal_progress.h"

#include <algorithm>
#include <csignal>
#include <cstdio>

#include <unistd.h>

namespace {

volatile std::sig_atomic_t stop_flag = 0;

extern "C" void note_stop(int signal)
{
    stop_flag = 1;
    std::signal(signal, SIG_DFL);  // a second one ends the program at once
}

constexpr auto quiet_start = std::chrono::seconds(1);
constexpr auto redraw_every = std::chrono::milliseconds(100);

}  // namespace

terminal_progress_t::terminal_progress_t(bool quiet) : quiet_(quiet), terminal_(::isatty(STDERR_FILENO) == 1)
{
    stop_flag = 0;
    std::signal(SIGINT, note_stop);
    std::signal(SIGTERM, note_stop);
    previous_ = set_interaction(this);
}

terminal_progress_t::~terminal_progress_t()
{
    progress_end();
    set_interaction(previous_);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

bool terminal_progress_t::stop_requested()
{
    return stop_flag != 0;
}

wxString terminal_progress_t::bar_text(const wxString& caption, int value, int maximum, const wxString& message,
                                       int width)
{
    wxString text = caption + " [";
    if (maximum > 0 && value >= 0) {
        const double share = std::clamp(double(value) / maximum, 0.0, 1.0);
        const int filled = static_cast<int>(share * width);
        text << wxString('#', filled) << wxString('.', width - filled)
             << wxString::Format("] %3d%%", static_cast<int>(share * 100.0));
    } else {
        text << wxString('.', width) << "]";
    }
    if (!message.empty())
        text << " " << message;
    return text;
}

void terminal_progress_t::progress_begin(const wxString& caption, const wxString&, int maximum)
{
    progress_end();
    caption_ = caption;
    maximum_ = maximum;
    started_ = clock::now();
    last_drawn_ = clock::time_point{};
    last_tenth_ = -1;
}

void terminal_progress_t::show(int value, const wxString& message)
{
    const clock::time_point now = clock::now();
    if (quiet_ || now - started_ < quiet_start)
        return;
    if (terminal_) {
        if (now - last_drawn_ < redraw_every)
            return;
        last_drawn_ = now;
        // One line, cut to a usual terminal's width so it never wraps.
        const wxString line = bar_text(caption_, value, maximum_, message, 30).Left(78);
        std::fprintf(stderr, "\r\033[K%s", line.utf8_str().data());
        std::fflush(stderr);
        drawn_ = true;
        return;
    }
    const int tenth = maximum_ > 0 && value >= 0 ? std::clamp(value * 10 / maximum_, 0, 10) : -1;
    if (tenth == last_tenth_ || (tenth < 0 && now - last_drawn_ < std::chrono::seconds(10)))
        return;
    last_tenth_ = tenth;
    last_drawn_ = now;
    std::fprintf(stderr, "%s\n", bar_text(caption_, value, maximum_, message, 20).utf8_str().data());
}

bool terminal_progress_t::progress_update(int value, const wxString& message)
{
    show(value, message);
    return !stop_requested();
}

bool terminal_progress_t::progress_pulse(const wxString& message)
{
    show(-1, message);
    return !stop_requested();
}

void terminal_progress_t::progress_end()
{
    if (drawn_) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
    }
    drawn_ = false;
}
