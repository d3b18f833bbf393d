#include "slice_recording.h"

#include <wx/filename.h>

#include "common/dynabuf.h"
#include "resources/probe_calibration.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "volumes/dicom_display.h"

void make_dicom_recording(const slice_stack_t& stack, const wxString& recording_path)
{
    recording_io->new_recording();
    res->RES_BUF_WIDTH->write(stack.columns);
    res->RES_BUF_HEIGHT->write(stack.rows);
    res->RES_FRAME_SIZE->write(stack.columns * stack.rows);
    res->RES_POS_REC->write(true);
    res->RES_BUF_DICOM->write(true);
    // Slices are placed by their own poses: the calibration is the identity.
    write_probe_calibration({0, 0, 0, 0, 0, 0}, stack.column_spacing_mm / 10.0, stack.row_spacing_mm / 10.0);
    res->RES_DICOM_HUM->write(stack.slope);
    res->RES_DICOM_HUB->write(stack.intercept);
    if (stack.window_centre && stack.window_width && *stack.window_width >= 1.0) {
        res->RES_DICOM_WIN_CENTRE->write(*stack.window_centre);
        res->RES_DICOM_WIN_WIDTH->write(*stack.window_width);
    }
    res->RES_DICOM_FRAME_LIST->write(std::make_shared<std::vector<long>>(stack.sources));
    constexpr std::uint64_t first_time = 17092836000000000ULL, step = 400000;
    for (std::size_t i = 0; i < stack.images.size() && i < stack.poses.size(); ++i)
        bufp->append(stack.images[i], stack.poses[i], first_time + i * step);
    recording_io->frames_changed();
    res->RES_ASCII_FILENAME->write(wxFileName(recording_path));
    res->RES_BIN_IM_FILENAME->write(recording_io_t::image_file_name_for(recording_path));
    res->RES_DISABLE_RECORDING->write(true);
    res->RES_VERSION->write("6.02");

    if (dicom_display)
        dicom_display->set_data_set(stack.data_set);
    const auto& padding = stack.data_set.padding;
    window_frames(stack.images, window_table_t(dicom_window_from_resources(padding)), padding,
                  res->RES_DICOM_FILTER->value());
    // Nothing to save yet: the frames are the files'.
    base_res_t::clear_needs_save(RES_MASK_RECORDING);
}
