#include "slice_recording.h"

#include "common/dynabuf.h"
#include "resources/probe_calibration.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"

void make_slice_recording(long columns, long rows, double column_spacing_mm, double row_spacing_mm,
                          const std::vector<cip_t>& images, const std::vector<counted_array_ptr<float>>& poses)
{
    recording_io->new_recording();
    res->RES_BUF_WIDTH->write(columns);
    res->RES_BUF_HEIGHT->write(rows);
    res->RES_FRAME_SIZE->write(columns * rows);
    res->RES_POS_REC->write(true);
    // Slices are placed by their own poses: the calibration is the identity.
    write_probe_calibration({0, 0, 0, 0, 0, 0}, column_spacing_mm / 10.0, row_spacing_mm / 10.0);
    constexpr std::uint64_t first_time = 17092836000000000ULL, step = 400000;
    for (std::size_t i = 0; i < images.size() && i < poses.size(); ++i)
        bufp->append(images[i], poses[i], first_time + i * step);
    recording_io->frames_changed();
}
