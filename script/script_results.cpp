#include "script_results.h"

#include <cstdio>

#include <wx/filename.h>

#include "resources/safe_file.h"

script_results_t::script_results_t() = default;
script_results_t::~script_results_t() = default;

wxString script_results_t::table_path(const wxString& dir, const wxString& name)
{
    return wxFileName(dir, name, "txt").GetFullPath();
}

wxString script_results_t::log_path(const wxString& dir, const wxString& name)
{
    return wxFileName(dir, name, "log").GetFullPath();
}

wxString script_results_t::csv_field(const wxString& field)
{
    if (field.find_first_of(",\"\r\n") == wxString::npos)
        return field;
    wxString quoted = field;
    quoted.Replace("\"", "\"\"");
    return "\"" + quoted + "\"";
}

wxString script_results_t::row_line(const std::vector<wxString>& fields)
{
    wxString line;
    for (std::size_t i = 0; i < fields.size(); ++i)
        line << (i ? "," : "") << csv_field(fields[i]);
    return line + "\n";
}

wxString script_results_t::header_line(const std::vector<wxString>& labels)
{
    std::vector<wxString> fields = {"File number", "Full file name", "Results file name", "Current surface"};
    fields.insert(fields.end(), labels.begin(), labels.end());
    return row_line(fields);
}

bool script_results_t::write_text(safe_file_t& file, const wxString& text)
{
    const wxScopedCharBuffer bytes = text.utf8_str();
    return file.write(bytes.data(), bytes.length());
}

bool script_results_t::open(const wxString& dir, const wxString& name, const std::vector<wxString>& labels,
                            bool durable, wxString* why)
{
    discard();
    const auto sync = durable ? safe_file_t::sync_t::durable : safe_file_t::sync_t::not_durable;
    auto table = std::make_unique<safe_file_t>(table_path(dir, name), sync);
    if (!table->ok() || !write_text(*table, header_line(labels))) {
        *why = "cannot write " + table->target() + ": " + table->error_text();
        return false;
    }
    auto log = std::make_unique<safe_file_t>(log_path(dir, name), sync);
    if (!log->ok()) {
        *why = "cannot write " + log->target() + ": " + log->error_text();
        return false;
    }
    // The log grows from run to run: the old one is copied in first, a piece at a time.
    if (wxFileName::FileExists(log->target())) {
        std::FILE* old = std::fopen(log->target().fn_str(), "rb");
        if (!old) {
            *why = "cannot read " + log->target();
            return false;
        }
        char buffer[65536];
        bool copied = true;
        for (std::size_t n; copied && (n = std::fread(buffer, 1, sizeof buffer, old)) > 0;)
            copied = log->write(buffer, n);
        copied = copied && !std::ferror(old);
        std::fclose(old);
        if (!copied) {
            *why = "cannot copy the old log " + log->target() + ": " + log->error_text();
            return false;
        }
    }
    table_ = std::move(table);
    log_ = std::move(log);
    return true;
}

bool script_results_t::add_row(const std::vector<wxString>& fields)
{
    return table_ && write_text(*table_, row_line(fields));
}

bool script_results_t::add_log_line(const wxString& line)
{
    return log_ && write_text(*log_, line + "\n");
}

bool script_results_t::commit(std::unique_ptr<safe_file_t>& file, wxString* why)
{
    if (!file) {
        *why = "nothing was written";
        return false;
    }
    const bool done = file->finish() && file->commit();
    if (!done)
        *why = file->target() + ": " + file->error_text();
    file.reset();
    return done;
}

bool script_results_t::commit_table(wxString* why)
{
    return commit(table_, why);
}

bool script_results_t::commit_log(wxString* why)
{
    return commit(log_, why);
}

void script_results_t::discard()
{
    table_.reset();
    log_.reset();
}
