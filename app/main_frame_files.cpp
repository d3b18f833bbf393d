// The File menu: recordings, templates, comments, export and grabbing views.
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/stattext.h>
#include <wx/toolbar.h>

#include "common/file_names.h"
#include "common/interaction.h"
#include "ids.h"
#include "main_frame.h"
#include "surfaces/session_voxels.h"
#include "pages/template_page.h"
#include "display/globcmap.h"
#include "pages/reslice_pages.h"
#include "surfaces/surface_sections.h"
#include "reconstruction/voxel_export.h"
#include "reconstruction/voxel_volume_file.h"
#include "resources/frame_export.h"
#include "resources/image_file.h"
#include "resources/recording_file.h"
#include "common/dynabuf.h"
#include "resources/resource_table.h"
#include "views/reslice_canvas.h"
#include "views/review_canvas.h"
#include "views/view3d_canvas.h"
#include "volumes/dicom_loader.h"

namespace {
wxString recording_dir()
{
    return res->RES_ASCII_FILENAME->value().GetPath();
}
}  // namespace

void MainFrame::show_data_path()
{
    SetStatusText(res->RES_ASCII_FILENAME->value().GetFullPath(), 2);
}

void MainFrame::report_saved(const wxString& path)
{
    SetStatusText("Saved " + path, 0);
}

bool MainFrame::read_recording(const wxString& path)
{
    // Anything but a recording is DICOM, a volume file or a folder of them.
    const bool ok = wxFileName(path).GetExt().Lower() == "ks" ? recording_io->try_read_kestrane_file(path)
                                                               : try_read_other_file(path);
    if (ok) {
        show_data_path();
        show_info(UpdateMainInfoLab(-1, bufp->frames()));
    }
    return ok;
}

void MainFrame::open_from_command_line(const command_line_t& cl)
{
    if (cl.file.empty())
        return;
    if (cl.is_template) {
        if (recording_io->try_read_template_file(cl.file) && templates_)
            templates_->show_loaded(wxFileName(cl.file).GetFullName());
    } else {
        read_recording(cl.file);
    }
}

void MainFrame::OnFileNew(wxCommandEvent&)
{
    if (!res->RES_IN_SCRIPT->value() && !ignore_unsaved_changes())
        return;
    if (playing())
        stop_playback();
    recording_io->new_recording();
    show_info(UpdateMainInfoLab(0, 0));  // no data, no rate
}

void MainFrame::OnFileOpen(wxCommandEvent&)
{
    res->RES_TOGGLE_LIVE->write(false);
    wxString path;
    if (res->RES_IN_SCRIPT->value()) {
        path = res->RES_SCRIPT_FUNC_ARG->value();
    } else {
        // Tracked sequences and volumes open too: a sequence asks for its image-to-probe calibration.
        const auto choice = interaction().ask_file(
            "Open file",
            "Kestrane file (*.ks)|*.ks|Tracked sequences and volumes (*.mha;*.mhd;*.nrrd;*.nhdr)|"
            "*.mha;*.mhd;*.nrrd;*.nhdr|All files (*)|*",
            recording_dir(), false);
        if (!choice)
            return;
        path = choice->path;
    }
    if (!read_recording(path) && res->RES_IN_SCRIPT->value()) {
        wxLogDebug("didn't open file successfully");
        res->RES_SCRIPT_WRITE_MESSAGE->write("ERROR Failed to open file." + path);
    }
}

void MainFrame::OnDirOpen(wxCommandEvent&)
{
    res->RES_TOGGLE_LIVE->write(false);
    const auto dir = interaction().ask_directory("Open directory", recording_dir());
    if (dir)
        read_recording(*dir);
}

void MainFrame::OnFileSave(wxCommandEvent&)
{
    res->RES_TOGGLE_LIVE->write(false);
    const wxString path = res->RES_ASCII_FILENAME->value().GetFullPath();
    if (recording_io->try_write_kestrane_file(path)) {
        show_data_path();
        report_saved(path);
    }
}

void MainFrame::OnFileSaveas(wxCommandEvent&)
{
    const bool rf = res->RES_BUF_RF->value(), dicom = res->RES_BUF_DICOM->value();
    const wxString caption = rf ? "Save RF file as" : dicom ? "Save image file as" : "Save file as";
    const wxString filters = rf || dicom ? "Kestrane file (*.ks)|*.ks|Kestrane raw data file (*.ks)|*.ks"
                                         : "Kestrane file (*.ks)|*.ks";
    const auto choice = ask_save_file(caption, filters, recording_dir());
    if (choice && recording_io->save_as(choice->path, choice->filter == 1)) {
        show_data_path();
        report_saved(choice->path);
    }
}

void MainFrame::OnFileComment(wxCommandEvent&)
{
    wxString text;
    for (const wxString& line : *res->RES_COMMENT->value())
        text << (text.empty() ? "" : "\n") << line;
    const auto edited = interaction().ask_text("Edit comment", "Comment saved with this data:", text,
                                               text_kind_t::lines);
    if (!edited || *edited == text)
        return;
    auto lines = std::make_shared<std::vector<wxString>>();
    for (const wxString& line : wxSplit(*edited, '\n', '\0'))
        lines->push_back(line);
    res->RES_COMMENT->write(lines);
}

void MainFrame::OnFileExportFrames(wxCommandEvent&)
{
    res->RES_TOGGLE_LIVE->write(false);
    const auto range = interaction().ask_text(
        "Export frame range",
        "Frames to include in the export, for instance:\n\n   1,4,5        - frames 1, 4 and 5 only\n   2,10:40    - "
        "frame 2 and 10 to 40 inclusive\n   0:2:500    - every other frame from 0 to 500",
        wxString::Format("%li", static_cast<long>(res->RES_BUF_CURRENT_FRAME->value())), text_kind_t::line);
    if (!range)
        return;
    const std::vector<char> keep = parse_frame_range(*range, bufp->frames());
    if (std::none_of(keep.begin(), keep.end(), [](char k) { return k; })) {
        interaction().inform("Export frames", "No valid frames in specified range - nothing to save!");
        return;
    }
    const wxString partial = partial_volume_report(keep, res->RES_FRAMES_IN_VOL->value());
    if (!partial.empty() &&
        interaction().ask("Partial volumes", partial, question_t::ok_cancel, answer_t::cancel) != answer_t::ok)
        return;
    const auto choice = ask_save_file("Export frames as",
                                      "Kestrane file (*.ks)|*.ks|Windows bitmap (*.bmp)|*.bmp|PNG file (*.png)|*.png|JPEG "
                                      "file (*.jpeg)|*.jpeg;*.jpg|TIFF file (*.tiff)|*.tiff;*.tif",
                                      recording_dir());
    if (!choice)
        return;
    if (choice->filter == 0) {
        if (ignore_unsaved_changes())
            export_frames_to_recording(keep, choice->path);
        return;
    }
    const image_export_t types[] = {image_export_t::bmp, image_export_t::png, image_export_t::jpeg,
                                    image_export_t::tiff};
    export_frames_to_images(keep, choice->path, types[std::clamp(choice->filter - 1, 0, 3)]);
}

void MainFrame::OnFileExportVolumes(wxCommandEvent&)
{
    const long per_volume = static_cast<long>(res->RES_FRAMES_IN_VOL->value());
    const long volumes = per_volume > 0 ? bufp->frames() / per_volume : 0;
    const auto pair = interaction().ask_text("Export volumes",
                                             wxString::Format("Volumes to export, two numbers from 0 to %li:",
                                                              volumes - 1),
                                             "0 1", text_kind_t::line);
    if (!pair)
        return;
    long a = -1, b = -1;
    if (!pair->BeforeFirst(' ').ToLong(&a) || !pair->AfterFirst(' ').Trim(false).ToLong(&b)) {
        wxLogError("Please give two volume numbers.");
        return;
    }
    const auto choice = ask_save_file("Export volumes", "Kestrane file (*.ks)|*.ks", recording_dir());
    if (choice)
        export_volume_pair(a, b, choice->path);
}

void MainFrame::OnFileOpenTemplate(wxCommandEvent&)
{
    const auto choice = interaction().ask_file("Open Template", "Template files (*.kst)|*.kst|All files (*.*)|*.*",
                                               res->RES_TEMPLATE_FILENAME->value().GetPath(), false);
    if (choice && recording_io->try_read_template_file(choice->path) && templates_)
        templates_->show_loaded(wxFileName(choice->path).GetFullName());
}

void MainFrame::OnFileSaveasTemplate(wxCommandEvent&)
{
    const auto choice = ask_save_file("Save as template", "Template files (*.kst)|*.kst|All files (*.*)|*.*",
                                      res->RES_TEMPLATE_FILENAME->value().GetPath());
    if (choice && recording_io->try_write_template_file(choice->path) && templates_)
        templates_->show_loaded(wxFileName(choice->path).GetFullName());
}

void MainFrame::OnFileGrab(wxCommandEvent& event)
{
    const auto choice = ask_save_file(
        "Grab window", "PNG file (*.png)|*.png|JPEG file (*.jpeg)|*.jpeg;*.jpg|Windows bitmap (*.bmp)|*.bmp",
        recording_dir());
    if (!choice)
        return;
    wxImage image;
    switch (event.GetId()) {
    case ID_FILE_GRAB_3D: image = view3d_->grab(); break;
    case ID_FILE_GRAB_CENTRE: image = lower_centre_->grab(); break;
    case ID_FILE_GRAB_RIGHT: image = lower_right_->grab(); break;
    default: image = review_->grab(); break;
    }
    if (save_image_file(image, choice->path))
        report_saved(choice->path);
}

void MainFrame::OnFileExportVoxels(wxCommandEvent&)
{
    // The volume follows an open reslice window: the isocentre one, else the main one, then the orthogonal ones.
    const reslice_info* windows = published_reslice_info();
    const reslice_internals* view = windows ? windows->export_view() : nullptr;
    if (!view) {
        interaction().inform("Export voxels", "Open the Reslice or Ortho page first: its plane defines the volume.");
        return;
    }
    reslice_source source = source_with_surfaces_from_session();
    const reslice_extent extent = reslice_internals::find_reslice_extent(source, view->plane());
    const std::vector<voxel_resolution_row_t> rows =
        voxel_resolution_rows(extent.z1 - extent.z0, view->width(), view->height(), source.pixel_size);
    std::vector<wxString> texts;
    for (const voxel_resolution_row_t& r : rows)
        texts.push_back(r.text);
    const auto row = interaction().ask_choice(
        "Export voxel resolution", "Resolution and slice spacing of output data\n(and approximate size in Mb)", texts);
    if (!row || *row < 0 || static_cast<std::size_t>(*row) >= rows.size())
        return;
    // The reconstruction options as kestrane-tool's flags and a script's words name them.
    static wxString last_options;  // offered again next time
    const auto typed = interaction().ask_text(
        "Export voxels",
        "Reconstruction options (blank for none):\n"
        "slab=MM  fill-holes=MM  masked  clip=X,Y,W,H  threads=N",
        last_options, text_kind_t::line);
    if (!typed)
        return;
    session_voxels_t options;
    for (const wxString& word : wxSplit(typed->Strip(wxString::both), ' ', '\0')) {
        wxString why;
        if (!word.empty() && !parse_voxel_option_word(word, &options, &why)) {
            interaction().inform("Export voxels", why);
            return;
        }
    }
    if (options.clip) {
        wxString why;
        if (!clip_inside_frames(source, *options.clip, &why)) {
            interaction().inform("Export voxels", why);
            return;
        }
        source.clip = options.clip;
    }
    source.zero_is_no_data = source.zero_is_no_data || options.masked;
    last_options = typed->Strip(wxString::both);
    // One filter a type, in the order of `types`: both NRRD filters take .nrrd, the one chosen says how.
    const auto choice = ask_save_file(
        "Export voxels as",
        "Kestrane file|*.ks|Windows bitmap|*.bmp|PNG file|*.png|JPEG file|*.jpeg;*.jpg|TIFF file|*.tiff;*.tif|"
        "NRRD volume (*.nrrd)|*.nrrd|NRRD volume, gzip-encoded (*.nrrd)|*.nrrd|MetaImage volume (*.mha)|*.mha|"
        "NIfTI volume (*.nii)|*.nii|NIfTI volume, compressed (*.nii.gz)|*.nii.gz",
        recording_dir());
    if (!choice)
        return;
    const voxel_output_t types[] = {voxel_output_t::recording, voxel_output_t::bmp,       voxel_output_t::png,
                                    voxel_output_t::jpeg,      voxel_output_t::tiff,      voxel_output_t::nrrd,
                                    voxel_output_t::nrrd_gzip, voxel_output_t::metaimage, voxel_output_t::nifti,
                                    voxel_output_t::nifti_gzip};
    voxel_export_request request;
    request.settings = view->settings();
    request.step = rows[static_cast<std::size_t>(*row)].step;
    request.spacing = rows[static_cast<std::size_t>(*row)].spacing;
    request.type = types[std::clamp(choice->filter, 0, int(std::size(types)) - 1)];
    if (options.slab_mm > 0.0)
        request.settings.bscan_half_thickness = options.slab_mm / 10.0;  // cm
    request.fill_holes = options.fill_holes_mm / 10.0;
    request.threads = static_cast<unsigned>(options.threads);
    request.path = request.type == voxel_output_t::recording ? voxel_recording_path(choice->path) : choice->path;
    // DICOM slices go out as their 16-bit values.
    const std::optional<slice_volume_t> values =
        is_volume_file_output(request.type) ? stored_values_from_session() : std::nullopt;
    if (values)
        request.stored_values = &*values;
    if (colourmap)
        colourmap->override_dynamic_resolutions(request.step, request.step);
    const bool one_file = request.type == voxel_output_t::recording || is_volume_file_output(request.type);
    if (export_voxels(source, voxel_header_from_session(), request) && one_file)
        report_saved(request.path);
    if (colourmap)
        colourmap->set_dynamic_resolutions();
}
