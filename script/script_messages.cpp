#include "script_messages.h"

wxString script_messages_t::format(const wxString& text, int line, script_message_kind_t kind)
{
    wxString out = ">> ";
    if (line > 0)
        out << "In line " << line << " of Script. ";
    if (kind == script_message_kind_t::warning)
        out << "WARNING: ";
    else if (kind == script_message_kind_t::error)
        out << "ERROR: ";
    return out + text;
}

void script_messages_t::write(const wxString& text, int line, script_message_kind_t kind)
{
    const wxString formatted = format(text, line, kind);
    sink_.write(formatted, kind);
    log_only(formatted);
}

void script_messages_t::WriteMessage(const wxString& text, int line)
{
    write(text, line, script_message_kind_t::message);
}

void script_messages_t::WriteWarning(const wxString& text, int line)
{
    write(text, line, script_message_kind_t::warning);
}

void script_messages_t::WriteError(const wxString& text, int line)
{
    ok_ = false;
    write(text, line, script_message_kind_t::error);
}

void script_messages_t::reset()
{
    ok_ = true;
    holding_ = true;
    held_.clear();
    log_ = nullptr;
}

void script_messages_t::start_log(log_writer_t log)
{
    log_ = std::move(log);
    holding_ = false;
    if (log_)
        for (const wxString& line : held_)
            log_(line);
    held_.clear();
}

void script_messages_t::stop_log()
{
    log_ = nullptr;
    holding_ = false;
    held_.clear();
}

void script_messages_t::log_only(const wxString& line)
{
    if (log_)
        log_(line);
    else if (holding_)
        held_.push_back(line);
}

void script_messages_t::sink_only(const wxString& line, script_message_kind_t kind)
{
    sink_.write(line, kind);
}
