#include "app_logic.h"

#include <algorithm>

namespace {
bool ends_with(const wxString& name, const char* suffix)
{
    return name.EndsWith(suffix);
}
}  // namespace

command_line_t parse_command_line(const std::vector<wxString>& args)
{
    command_line_t cl;
    if (args.size() > 1 && args[1].StartsWith("dir="))
        cl.settings_dir = args[1].Mid(4);
    if (args.size() < 2)
        return cl;
    wxString last = args.back();
    if (args.size() == 2 && last.StartsWith("dir="))
        return cl;
    // A lone script runs and the program closes; "-s" keeps it open, "-sc" closes it.
    const bool lone = args.size() == 2;
    if (args.size() >= 3 && args[args.size() - 2].StartsWith("-s")) {
        cl.script = last;
        cl.exit_after_script = args[args.size() - 2].Contains("c");
        return cl;
    }
    if (lone && (ends_with(last, ".txt") || ends_with(last, ".TXT"))) {
        cl.script = last;
        cl.exit_after_script = true;
        return cl;
    }
    if (ends_with(last, ".kvi"))
        last = last.Left(last.length() - 4) + ".ks";
    else if (ends_with(last, ".KVI"))
        last = last.Left(last.length() - 4) + ".KS";
    if (ends_with(last, ".ks") || ends_with(last, ".KS")) {
        cl.file = last;
    } else if (ends_with(last, ".kst") || ends_with(last, ".KST")) {
        cl.file = last;
        cl.is_template = true;
    }
    return cl;
}

bool password_accepted(const wxString& answer, const wxString& stored)
{
    const wxString a = answer.Lower();
    return a == stored.Lower() || a == master_code;
}

wxString info_label_t::update(double frames_per_second, long frames)
{
    if (frames_per_second >= 0.0)
        rate_ = frames_per_second;
    if (frames >= 0)
        frames_ = frames;
    wxString text = wxString::Format("%li frames ", frames_);
    if (rate_ == 0.0)
        return text + "recorded.";
    return text + wxString::Format("at %.0f per second.", rate_);
}

wxString frame_position_text(long current, long frames)
{
    if (frames <= 0)
        return {};
    return wxString::Format("Frame %li of %li", std::clamp(current, 0L, frames - 1) + 1, frames);
}

std::optional<double> frame_rate(std::int64_t counted, std::uint64_t first_time, std::uint64_t latest_time)
{
    const std::int64_t interval = static_cast<std::int64_t>(latest_time - first_time);
    if (interval <= 0 || counted < 0)
        return std::nullopt;
    return static_cast<double>(counted) * 1e7 / static_cast<double>(interval);
}

void playback_clock_t::start(std::uint64_t now, std::uint64_t frame_time)
{
    offset_ = static_cast<std::int64_t>(now - frame_time);
}

bool playback_clock_t::next_due(std::uint64_t now, std::uint64_t next_frame_time)
{
    // Signed: recorded times may lie before or after the clock's.
    const std::int64_t lag = static_cast<std::int64_t>(now - next_frame_time);
    offset_ = std::min(offset_, lag + max_wait);
    return offset_ < lag;
}
