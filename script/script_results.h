// A script's results table ("<name>.txt") and message log ("<name>.log"),
// written as the run goes into temporary files beside their targets and put
// in place only when complete, so a failed run never leaves half a table and
// never destroys an older one. The log keeps what older runs wrote before it.
#pragma once

#include <memory>
#include <vector>

#include <wx/string.h>

class safe_file_t;

class script_results_t {
public:
    script_results_t();
    ~script_results_t();
    script_results_t(const script_results_t&) = delete;
    script_results_t& operator=(const script_results_t&) = delete;

    static wxString table_path(const wxString& dir, const wxString& name);
    static wxString log_path(const wxString& dir, const wxString& name);

    // Starts both files with the header row of `labels`; false, with the
    // reason in *why, when either cannot be written. Files not `durable` are
    // not flushed to disk (a batch's parts, merged at once).
    bool open(const wxString& dir, const wxString& name, const std::vector<wxString>& labels, bool durable,
              wxString* why);
    bool is_open() const { return table_ != nullptr; }

    // One row; false once anything failed to be written.
    bool add_row(const std::vector<wxString>& fields);
    bool add_log_line(const wxString& line);

    // Completes and puts each file in place; false with the reason.
    bool commit_table(wxString* why);
    bool commit_log(wxString* why);
    // Drops whatever was not committed.
    void discard();

    // "File number,Full file name,Results file name,Current surface" and the labels.
    static wxString header_line(const std::vector<wxString>& labels);
    // The fields comma-separated; a field holding a comma, a quote or a line
    // break in quotes, its quotes doubled (RFC 4180).
    static wxString row_line(const std::vector<wxString>& fields);
    static wxString csv_field(const wxString& field);

private:
    static bool write_text(safe_file_t& file, const wxString& text);
    static bool commit(std::unique_ptr<safe_file_t>& file, wxString* why);

    std::unique_ptr<safe_file_t> table_, log_;
};
