// Writes a file so that the old one survives any failure: the data go to a
// temporary file beside the target and are flushed to disk; only commit()
// puts it in the target's place. Dropping the object without committing
// removes the temporary file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <wx/string.h>

class safe_file_t {
public:
    // Not durable: still all or nothing, but not flushed to disk, for scratch
    // files that are read back at once and whose loss in a crash costs nothing.
    enum class sync_t { durable, not_durable };
    explicit safe_file_t(const wxString& target, sync_t sync = sync_t::durable);
    ~safe_file_t();
    safe_file_t(const safe_file_t&) = delete;
    safe_file_t& operator=(const safe_file_t&) = delete;

    bool ok() const { return fd_ >= 0 && !failed_; }
    bool write(const void* data, std::size_t length);
    // Overwrites bytes already written (a size known only at the end); before finish().
    bool write_at(std::uint64_t offset, const void* data, std::size_t length);
    // Flushes and closes the temporary file; false if anything failed so far.
    bool finish();
    // Renames the finished temporary file over the target.
    bool commit();
    const wxString& target() const { return target_; }
    // The temporary file, which is named after the target with ".tmp-" and six characters.
    const std::string& temp_path() const { return temp_path_; }
    // The system's reason for the first step that failed, for messages.
    wxString error_text() const;

private:
    // At the end, or (pwrite) at *offset, which it advances.
    bool put(const void* data, std::size_t length, std::uint64_t* offset);
    wxString target_;
    std::string temp_path_;
    int fd_ = -1;
    int errno_ = 0;
    bool durable_ = true;
    bool failed_ = false;
    bool finished_ = false;
    bool committed_ = false;
};

// What the temporary file of a target is called after: target + this + six characters.
inline constexpr const char* safe_file_temp_infix = ".tmp-";

// Flushes the directory that holds path, so that renames in it are on disk.
void sync_directory_of(const std::string& path);

// Test seam: called before every write, flush, rename and removal a save
// makes, so that a test can stop a save at each of those points as a kill would.
using file_step_hook_t = void (*)();
void set_file_step_hook(file_step_hook_t hook);
void file_step();
