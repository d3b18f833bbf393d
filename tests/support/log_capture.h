// Collects log records during a test so that tests can assert on messages.
#pragma once

#include <memory>
#include <vector>

#include <wx/log.h>

struct captured_log_t {
    wxLogLevel level;
    wxString text;
    wxString file;
    int line;
};

class log_capture {
public:
    log_capture();
    ~log_capture();
    log_capture(const log_capture&) = delete;
    log_capture& operator=(const log_capture&) = delete;

    const std::vector<captured_log_t>& records() const;
    bool contains(const wxString& fragment, wxLogLevel level) const;
    bool contains(const wxString& fragment) const;
    std::size_t count(wxLogLevel level) const;
    void clear();

private:
    class target;
    target* target_;  // owned by wxLog while active
    wxLog* previous_;
};
