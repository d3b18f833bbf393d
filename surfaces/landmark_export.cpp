#include "landmark_export.h"

#include <charconv>
#include <cmath>
#include <string>
#include <sys/stat.h>

#include <wx/file.h>
#include <wx/filename.h>
#include <wx/log.h>

#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "resources/safe_file.h"

namespace {

// Always a decimal point, whatever the locale: a decimal comma would split the column.
wxString mm(double cm)
{
    char buf[400];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, cm * 10.0, std::chars_format::fixed, 4);
    return ec == std::errc() ? wxString(buf, static_cast<std::size_t>(end - buf)) : wxString("nan");
}

wxString xyz_mm(const vertex3d& p)
{
    return ", " + mm(p.x) + ", " + mm(p.y) + ", " + mm(p.z);
}

// The existing file's bytes; false, logged, when it exists but cannot be read.
bool read_existing(const wxString& path, std::string* bytes)
{
    if (!wxFileName::FileExists(path))
        return true;
    wxFile file(path, wxFile::read);
    const wxFileOffset length = file.IsOpened() ? file.Length() : wxInvalidOffset;
    if (length == wxInvalidOffset) {
        wxLogError("Cannot read '%s' to append landmarks to it.", path);
        return false;
    }
    bytes->resize(static_cast<std::size_t>(length));
    if (length > 0 && file.Read(bytes->data(), bytes->size()) != static_cast<ssize_t>(bytes->size())) {
        wxLogError("Cannot read '%s' to append landmarks to it.", path);
        return false;
    }
    return true;
}

}  // namespace

wxString landmark_csv_header()
{
    return "File, Landmark, Type, Surface, Frame, x (mm), y (mm), z (mm)\n";
}

wxString csv_field(const wxString& text)
{
    if (text.find_first_of(",\"\r\n") == wxString::npos)
        return text;
    wxString quoted = text;
    quoted.Replace("\"", "\"\"");
    return "\"" + quoted + "\"";
}

wxString landmark_csv_line(const landmark_t& mark, const landmark_export_context_t& context)
{
    wxString line = csv_field(context.file_name) + ", " + csv_field(mark.name);
    switch (mark.kind) {
    case LMARK_FIDUCIAL:
        line << ", Fiducial, , " << xyz_mm(mark.position);
        break;
    case LMARK_2D:
        // In-frame position: pixels times the pixel size; a frame has no z.
        line << ", 2D, " << ", " << wxString::Format("%d", static_cast<int>(mark.index)) << ", "
             << mm(mark.position.x * context.sx) << ", " << mm(mark.position.y * context.sy) << ", ";
        break;
    case LMARK_SURFACE:
        line << ", Surface" << ", " << csv_field(context.object_name ? context.object_name(mark.index) : wxString())
             << ", " << xyz_mm(mark.position);
        break;
    case LMARK_SPINE:
        // A reference (vertebra -1) belongs to no vertebra: the column stays empty.
        line << ", Spine" << ", " << spine::vertebra_name(mark.vertebra) << ", " << xyz_mm(mark.position);
        break;
    case LMARK_3D:
    default:
        line << ", 3D, , " << xyz_mm(mark.position);
        break;
    }
    return line + "\n";
}

wxString landmark_export_path(const wxString& chosen)
{
    wxFileName name(chosen);
    if (!name.HasExt())
        name.SetExt("csv");
    return name.GetFullPath();
}

bool export_landmarks(const wxString& path, const landmarks& marks, const landmark_export_context_t& context)
{
    std::string content;
    if (!read_existing(path, &content))
        return false;
    if (content.empty())
        content = landmark_csv_header().utf8_string();
    else if (content.back() != '\n')
        content += '\n';
    for (const landmark_t& m : marks.list)
        content += landmark_csv_line(m, context).utf8_string();
    // The replacement keeps the appended file's permissions.
    struct stat old {};
    const bool existed = ::stat(path.fn_str(), &old) == 0;
    safe_file_t file(path);
    if (!file.write(content.data(), content.size()) || !file.finish() ||
        (existed && ::chmod(file.temp_path().c_str(), old.st_mode & 07777) != 0) || !file.commit()) {
        wxLogError("Error writing landmarks to '%s': %s", path, file.error_text());
        return false;
    }
    return true;
}

landmark_export_context_t landmark_export_context_from_session()
{
    landmark_export_context_t context;
    if (!res)
        return context;
    context.file_name = res->RES_ASCII_FILENAME->value().GetFullName();
    context.sx = res->RES_XSCALE->value();
    context.sy = res->RES_YSCALE->value();
    const std::shared_ptr<object_table> objects = res->RES_OBJECT->value();
    context.object_name = [objects](int object) {
        if (!objects || object < 0 || object >= object_table::size)
            return wxString();
        return (*objects)[object].name;
    };
    return context;
}
