#include "file_functions.h"

#include <algorithm>

#include <wx/filename.h>

#include "resources/frame_export.h"
#include "common/dynabuf.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "script_arguments.h"
#include "script_functions.h"

namespace {

script_result_t no_session()
{
    return {false, "no recording can be read or written here."};
}

script_result_t file_open(const std::vector<wxString>& args)
{
    if (!recording_io || !res)
        return no_session();
    if (!recording_io->try_read_kestrane_file(args[0]))
        return {false, "could not read " + args[0]};
    return {true, {}};
}

script_result_t file_save(const std::vector<wxString>&)
{
    if (!recording_io || !res)
        return no_session();
    const wxString path = res->RES_ASCII_FILENAME->value().GetFullPath();
    if (!recording_io->try_write_kestrane_file(path))
        return {false, "could not save " + path};
    return {true, "Saved " + path};
}

script_result_t file_save_as(const std::vector<wxString>& args)
{
    if (!recording_io || !res)
        return no_session();
    if (wxFileName(args[0]).GetFullName().empty())
        return {false, "'" + args[0] + "' names no file."};
    const wxString path = beside_recording(args[0]);
    if (!recording_io->save_as(path, false, true))
        return {false, "could not save " + path};
    return {true, "Saved " + path};
}

script_result_t template_open(const std::vector<wxString>& args)
{
    if (!recording_io || !res)
        return no_session();
    if (!recording_io->try_read_template_file(args[0]))
        return {false, "could not read the template " + args[0]};
    return {true, {}};
}

// EXPORT_FRAMES range file: the frames of the range as a recording (.ks) or as numbered pictures.
script_result_t export_frames(const std::vector<wxString>& args)
{
    if (!recording_io || !res || !bufp)
        return no_session();
    const wxString path = beside_recording(args[1]);
    const wxString ext = wxFileName(path).GetExt().Lower();
    const std::vector<char> keep = parse_frame_range(args[0], bufp->frames());
    if (std::find(keep.begin(), keep.end(), 1) == keep.end())
        return {false, "the range '" + args[0] + "' takes no frame"};
    bool ok = false;
    if (ext == "ks")
        ok = export_frames_to_recording(keep, path);
    else if (ext == "png" || ext == "bmp" || ext == "jpeg" || ext == "jpg" || ext == "tif" || ext == "tiff")
        ok = export_frames_to_images(keep, path, image_export_t::png);  // the extension decides
    else
        return {false, "'" + args[1] + "' is neither a recording (.ks) nor a picture (.png, .bmp, .jpeg, .tiff)"};
    return ok ? script_result_t{true, "Exported " + path} : script_result_t{false, "could not write " + path};
}

script_result_t file_close(const std::vector<wxString>&)
{
    if (!recording_io || !res)
        return no_session();
    recording_io->new_recording();
    return {true, {}};
}

}  // namespace

void register_file_functions(script_function_table_t& table)
{
    table.register_function("FILE_OPEN", file_open);
    table.register_function("FILE_SAVE", file_save);
    table.register_function("FILE_SAVEAS", file_save_as);
    table.register_function("FILE_CLOSE", file_close);
    table.register_function("TEMPLATE_OPEN", template_open);
    table.register_function("EXPORT_FRAMES", export_frames);
}
