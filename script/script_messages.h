// The messages of a script run, formatted as the script pane shows them
// (">> ", the line, "WARNING: " or "ERROR: ") and handed to a sink that the
// page, the command-line tool or a test supplies. Also keeps the ok flag that
// the first error clears, and feeds the run's log file once it is open.
#pragma once

#include <functional>
#include <vector>

#include <wx/string.h>

enum class script_message_kind_t { message, warning, error };

// Where a run's messages go; one call per formatted line.
class script_sink_t {
public:
    virtual ~script_sink_t() = default;
    virtual void write(const wxString& line, script_message_kind_t kind) = 0;
};

class script_messages_t {
public:
    using log_writer_t = std::function<void(const wxString& line)>;

    explicit script_messages_t(script_sink_t& sink) : sink_(sink) {}

    // line 0: a message not tied to a line of the script.
    void WriteMessage(const wxString& text, int line = 0);
    void WriteWarning(const wxString& text, int line = 0);
    void WriteError(const wxString& text, int line = 0);

    static wxString format(const wxString& text, int line, script_message_kind_t kind);

    bool ok() const { return ok_; }
    // A new run: ok again, nothing held for the log.
    void reset();

    // Lines written so far are held until a log opens; from then on every line
    // also goes to `log`. An empty writer stops logging (nothing more is held).
    void start_log(log_writer_t log);
    void stop_log();
    // A line for the log alone, and one for the sink alone: a line that must
    // appear in both only when the log was written.
    void log_only(const wxString& line);
    void sink_only(const wxString& line, script_message_kind_t kind);

private:
    void write(const wxString& text, int line, script_message_kind_t kind);

    script_sink_t& sink_;
    bool ok_ = true;
    bool holding_ = true;
    std::vector<wxString> held_;
    log_writer_t log_;
};
