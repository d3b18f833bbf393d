// Writes a file so that the old one survives any failure: the data go to a
// temporary file beside the target and are flushed to disk; only commit()
// puts it in the target's place. Dropping the object without committing
// removes the temporary file.
#pragma once

#include <cstddef>

#include <wx/string.h>

class safe_file_t {
public:
    explicit safe_file_t(const wxString& target);
    ~safe_file_t();
    safe_file_t(const safe_file_t&) = delete;
    safe_file_t& operator=(const safe_file_t&) = delete;

    bool ok() const { return fd_ >= 0 && !failed_; }
    bool write(const void* data, std::size_t length);
    // Flushes and closes the temporary file; false if anything failed so far.
    bool finish();
    // Renames the finished temporary file over the target.
    bool commit();
    const wxString& target() const { return target_; }
    // The system's reason for the first step that failed, for messages.
    wxString error_text() const;

private:
    wxString target_;
    std::string temp_path_;
    int fd_ = -1;
    int errno_ = 0;
    bool failed_ = false;
    bool finished_ = false;
    bool committed_ = false;
};
