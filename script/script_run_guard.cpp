#include "script_run_guard.h"

class script_run_guard_t::unattended_t final : public interaction_t {
public:
    explicit unattended_t(note_t note) : note_(std::move(note)) {}

    void progress_begin(const wxString&, const wxString&, int) override {}
    bool progress_update(int, const wxString&) override { return true; }
    bool progress_pulse(const wxString&) override { return true; }
    void progress_end() override {}

    answer_t ask(const wxString& caption, const wxString& message, question_t, answer_t headless_default) override
    {
        static const char* const names[] = {"OK", "Cancel", "Yes", "No"};
        note_("Question '" + caption + "' answered " + names[static_cast<int>(headless_default)] + ": " +
              message.Strip(wxString::both));
        return headless_default;
    }
    void inform(const wxString& caption, const wxString& message) override
    {
        note_(caption + ": " + message.Strip(wxString::both));
    }
    std::optional<wxString> ask_text(const wxString& caption, const wxString&, const wxString&, text_kind_t) override
    {
        note_("Question '" + caption + "' left unanswered.");
        return std::nullopt;
    }
    std::optional<file_choice_t> ask_file(const wxString& caption, const wxString&, const wxString&, bool) override
    {
        note_("No file chosen for '" + caption + "'.");
        return std::nullopt;
    }
    std::optional<wxString> ask_directory(const wxString& caption, const wxString&) override
    {
        note_("No folder chosen for '" + caption + "'.");
        return std::nullopt;
    }
    std::optional<int> ask_choice(const wxString& caption, const wxString&, const std::vector<wxString>&) override
    {
        note_("Question '" + caption + "' left unanswered.");
        return std::nullopt;
    }

private:
    note_t note_;
};

class script_run_guard_t::capture_t final : public wxLog {
public:
    explicit capture_t(wxLog* previous) : previous_(previous) {}
    std::vector<std::pair<wxLogLevel, wxString>> logged;

protected:
    void DoLogRecord(wxLogLevel level, const wxString& msg, const wxLogRecordInfo& info) override
    {
        if (level <= wxLOG_Warning)
            logged.emplace_back(level, msg.Strip(wxString::trailing));
        else if (previous_)
            previous_->LogRecord(level, msg, info);
    }

private:
    wxLog* previous_;
};

script_run_guard_t::script_run_guard_t(note_t note) : unattended_(std::make_unique<unattended_t>(std::move(note)))
{
    outer_ = set_interaction(unattended_.get());
    previous_log_ = wxLog::GetActiveTarget();
    capture_ = std::make_unique<capture_t>(previous_log_);
    wxLog::SetActiveTarget(capture_.get());
}

script_run_guard_t::~script_run_guard_t()
{
    wxLog::SetActiveTarget(previous_log_);
    set_interaction(outer_);
}

std::vector<std::pair<wxLogLevel, wxString>> script_run_guard_t::take_logged()
{
    return std::exchange(capture_->logged, {});
}
