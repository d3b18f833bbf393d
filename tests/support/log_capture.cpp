#include "log_capture.h"

class log_capture::target : public wxLog {
public:
    std::vector<captured_log_t> records;

protected:
    void DoLogRecord(wxLogLevel level, const wxString& msg, const wxLogRecordInfo& info) override
    {
        records.push_back({level, msg, info.filename ? wxString(info.filename) : wxString(), info.line});
    }
};

log_capture::log_capture() : target_(new target), previous_(wxLog::SetActiveTarget(target_))
{
    wxLog::SetLogLevel(wxLOG_Max);
}

log_capture::~log_capture()
{
    wxLog::SetActiveTarget(previous_);
    delete target_;
}

const std::vector<captured_log_t>& log_capture::records() const
{
    return target_->records;
}

bool log_capture::contains(const wxString& fragment, wxLogLevel level) const
{
    for (const auto& r : target_->records)
        if (r.level == level && r.text.Contains(fragment))
            return true;
    return false;
}

bool log_capture::contains(const wxString& fragment) const
{
    for (const auto& r : target_->records)
        if (r.text.Contains(fragment))
            return true;
    return false;
}

std::size_t log_capture::count(wxLogLevel level) const
{
    std::size_t n = 0;
    for (const auto& r : target_->records)
        n += (r.level == level);
    return n;
}

void log_capture::clear()
{
    target_->records.clear();
}
