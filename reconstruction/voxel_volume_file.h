// A voxel export as one volume file for other programs (NRRD, MetaImage,
// NIfTI): the export's grid placed in world space (LPS millimetres, see
// volumes/volume_files_out.h), filled slice by slice with the 8-bit reslice
// values, or for recordings that carry 16-bit values (DICOM CT) with those
// values, in Hounsfield units, wherever the reslice has data.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <wx/string.h>

#include "reconstruction/voxel_export.h"
#include "volumes/slice_volume.h"
#include "volumes/volume_files_out.h"

// The file's header for the export's grid: voxel (i, j, k) of the file is
// reslice pixel (i step, j step) of slice k.
volume_file_header_t voxel_volume_header(const reslice_plane& plane, const voxel_layout_t& layout,
                                         const voxel_export_request& request);

// The session's 16-bit values when its recording has them (DICOM slices read
// with their values); none for other recordings, and none with a warning
// logged when the slices cannot be sampled as one volume (the export then
// writes the 8-bit display values).
std::optional<slice_volume_t> stored_values_from_session();

class voxel_volume_file_t {
public:
    // ok() false, with the reason logged, when the file cannot be started.
    voxel_volume_file_t(const voxel_export_request& request, const reslice_plane& plane, const voxel_layout_t& layout);
    bool ok() const { return writer_.ok(); }
    // Slice k from its subsampled 8-bit reslice (W' x H', 0 where no frame is).
    bool add_slice(long k, const std::vector<std::uint8_t>& display);
    bool commit() { return writer_.commit(); }

private:
    void sample_rows(long k, long first_row, long end_row, const std::vector<std::uint8_t>& display);

    volume_file_header_t header_;
    const slice_volume_t* values_;
    unsigned lanes_ = 1;
    std::int16_t no_data_ = 0;
    std::vector<std::int16_t> wide_;  // one slice of 16-bit values
    volume_file_writer_t writer_;
};
