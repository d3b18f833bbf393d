// The .kvi file: raw frames one after the other, no header. B-mode frames are
// one byte per pixel row after row; RF frames are little-endian signed 16-bit
// samples, vector after vector.
#include <bit>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <wx/log.h>

#include "common/interaction.h"
#include "recording_file.h"
#include "resource_table.h"
#include "safe_file.h"

static_assert(std::endian::native == std::endian::little, "16-bit samples are stored little-endian as held");

namespace {

class input_file_t {
public:
    explicit input_file_t(const wxString& path) : fd_(::open(path.fn_str(), O_RDONLY | O_CLOEXEC)) {}
    ~input_file_t()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    input_file_t(const input_file_t&) = delete;
    input_file_t& operator=(const input_file_t&) = delete;

    bool ok() const { return fd_ >= 0; }
    std::uint64_t size() const
    {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    }
    bool read_exactly(void* data, std::size_t length)
    {
        char* p = static_cast<char*>(data);
        while (length > 0) {
            const ssize_t n = ::read(fd_, p, length);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            p += n;
            length -= static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    int fd_;
};

std::uint64_t physical_memory_bytes()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES), size = ::sysconf(_SC_PAGE_SIZE);
    return pages > 0 && size > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size) : 0;
}

}  // namespace

bool recording_io_t::read_image_data(const wxString& path)
{
    const long frames = pending_frames();
    if (frames <= 0)
        return true;
    const bool rf = res->RES_BUF_RF->pending();
    const std::uint64_t length = frame_bytes();
    // Frame sizes are at most 65535 squared, so this product cannot overflow 64 bits for any long count.
    const std::uint64_t total = length * static_cast<std::uint64_t>(frames);
    const std::uint64_t memory = physical_memory_bytes();
    if (memory && total > memory) {
        wxLogError("Error: unable to allocate space for image data");
        return false;
    }
    input_file_t file(path);
    if (!file.ok()) {
        wxLogError("Error opening data file for reading in.\n");
        return false;
    }
    const std::uint64_t size = file.size();
    if (size < total) {
        wxLogError("Failed to read binary data from binary file.\n");
        return false;
    }
    // Longer than its frames: not this recording's pixels, or a file written over by mistake.
    if (size > total) {
        stage_->image_data_surplus = size - total;
        wxLogWarning("The image data file %s holds %llu bytes, but the %li frames of the recording need %llu; the "
                     "bytes beyond them are ignored.",
                     path, static_cast<unsigned long long>(size), frames, static_cast<unsigned long long>(total));
    }
    const long width = rf ? static_cast<long>(res->RES_RF_VECTORS->pending())
                          : static_cast<long>(res->RES_BUF_WIDTH->pending());
    const long height = rf ? static_cast<long>(res->RES_RF_SAMPLES->pending())
                           : static_cast<long>(res->RES_BUF_HEIGHT->pending());
    interaction().progress_begin("File Open", wxString::Format("Currently loading frame 0 of %li.", frames),
                                 static_cast<int>(std::min<long>(frames, INT32_MAX)));
    stage_->images.reserve(static_cast<std::size_t>(frames));
    bool ok = true;
    for (long i = 0; i < frames && ok; ++i) {
        const cip_t image = rf ? cip_t::make_16bit(width, height) : cip_t::make_8bit(width, height);
        if (image.empty()) {
            wxLogError("Error: unable to allocate space for image data");
            ok = false;
            break;
        }
        void* target = rf ? static_cast<void*>(image.samples()) : static_cast<void*>(image.pixels());
        if (!file.read_exactly(target, static_cast<std::size_t>(length))) {
            wxLogError("Failed to read binary data from binary file.\n");
            ok = false;
            break;
        }
        if (rf)
            rf_display(image, i);
        stage_->images.push_back(image);
        if ((i & 15) == 0)
            interaction().progress_update(static_cast<int>(std::min<long>(i, INT32_MAX)),
                                          wxString::Format("Currently loading frame %li of %li.", i, frames));
    }
    interaction().progress_end();
    return ok;
}

bool recording_io_t::write_image_data(safe_file_t& file)
{
    const long frames = bufp ? bufp->frames() : 0;
    const bool rf = res->RES_BUF_RF->value();
    const std::uint64_t length = static_cast<std::uint64_t>(std::max<std::int64_t>(0, res->RES_FRAME_SIZE->value()));
    interaction().progress_begin("File Save", wxString::Format("Currently saving frame 0 of %li.", frames),
                                 static_cast<int>(std::min<long>(frames, INT32_MAX)));
    bool ok = true;
    for (long i = 0; i < frames && ok; ++i) {
        const cip_t image = bufp->imagecp(i);
        // A frame that does not match the recording's size cannot be stored in it.
        if (image.pixel_count() != length || (rf && !image.has_samples())) {
            wxLogError("Frame %li does not match the frame size of the recording.\n", i);
            ok = false;
            break;
        }
        const bool written = rf ? file.write(image.samples(), 2 * length) : file.write(image.pixels(), length);
        if (!written) {
            wxLogError("Failed to write binary data to binary file.\n");
            ok = false;
        }
        if ((i & 15) == 0)
            interaction().progress_update(static_cast<int>(std::min<long>(i, INT32_MAX)),
                                          wxString::Format("Currently saving frame %li of %li.", i, frames));
    }
    interaction().progress_end();
    return ok;
}
