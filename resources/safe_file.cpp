#include "safe_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>


namespace {
file_step_hook_t step_hook = nullptr;

mode_t creation_mode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

void sync_directory_of(const std::string& path)
{
    const auto slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void set_file_step_hook(file_step_hook_t hook)
{
    step_hook = hook;
}

void file_step()
{
    if (step_hook)
        step_hook();
}

safe_file_t::safe_file_t(const wxString& target, sync_t sync) : target_(target), durable_(sync == sync_t::durable)
{
    std::string pattern = std::string(static_cast<const char*>(target.fn_str())) + safe_file_temp_infix + "XXXXXX";
    fd_ = ::mkstemp(pattern.data());
    if (fd_ < 0) {
        errno_ = errno;
        return;
    }
    temp_path_ = pattern;
    ::fchmod(fd_, creation_mode());
}

safe_file_t::~safe_file_t()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!temp_path_.empty() && !committed_)
        ::unlink(temp_path_.c_str());
}

bool safe_file_t::write_at(std::uint64_t offset, const void* data, std::size_t length)
{
    return put(data, length, &offset);
}

bool safe_file_t::write(const void* data, std::size_t length)
{
    return put(data, length, nullptr);
}

bool safe_file_t::put(const void* data, std::size_t length, std::uint64_t* offset)
{
    if (!ok() || finished_)
        return false;
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        file_step();
        const ssize_t n = offset ? ::pwrite(fd_, p, length, static_cast<off_t>(*offset)) : ::write(fd_, p, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            errno_ = n < 0 ? errno : ENOSPC;
            failed_ = true;
            return false;
        }
        p += n;
        if (offset)
            *offset += static_cast<std::uint64_t>(n);
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

bool safe_file_t::finish()
{
    if (finished_)
        return !failed_;
    if (fd_ < 0)
        return false;
    file_step();
    if (durable_ && ::fsync(fd_) != 0 && !failed_) {
        errno_ = errno;
        failed_ = true;
    }
    if (::close(fd_) != 0 && !failed_) {
        errno_ = errno;
        failed_ = true;
    }
    fd_ = -1;
    finished_ = true;
    return !failed_;
}

bool safe_file_t::commit()
{
    if (!finish() || committed_)
        return false;
    file_step();
    if (::rename(temp_path_.c_str(), static_cast<const char*>(target_.fn_str())) != 0) {
        errno_ = errno;
        return false;
    }
    committed_ = true;
    if (durable_)
        sync_directory_of(temp_path_);
    return true;
}

wxString safe_file_t::error_text() const
{
    return errno_ ? wxString(std::strerror(errno_)) : wxString("unknown cause");
}
