#include "script_arguments.h"

#include <cmath>

#include <wx/filename.h>

#include "resources/recording_data.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"

long script_object(const wxString& word)
{
    long k = -1;
    if (word.ToLong(&k))
        return k >= 0 && k < object_table::size ? k : -1;
    if (const auto& objects = res->RES_OBJECT->value())
        for (int i = 0; i < object_table::size; ++i)
            if ((*objects)[i].name == word)
                return i;
    return -1;
}

bool script_number(const wxString& word, double* value)
{
    double v = 0.0;
    if (!word.ToCDouble(&v) || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

wxString beside_recording(const wxString& given)
{
    wxFileName target(given);
    if (target.IsRelative() && recording_io)
        target.MakeAbsolute(recording_io->recording_directory());
    return target.GetFullPath();
}

wxString object_file_base(long object)
{
    const wxFileName recording = res->RES_ASCII_FILENAME->value();
    wxString name = object >= 0 && object < object_table::size && res->RES_OBJECT->value()
                        ? (*res->RES_OBJECT->value())[int(object)].name
                        : wxString::Format("object%ld", object);
    // An object's name may hold anything; only plain characters go into a file name.
    for (auto it = name.begin(); it != name.end(); ++it)
        if (!wxIsalnum(*it) && *it != '-' && *it != '_')
            *it = '_';
    if (recording.IsOk() && !recording.GetName().empty())
        return wxFileName(recording.GetPath(), recording.GetName() + "_" + name).GetFullPath();
    return wxFileName(recording_io->recording_directory(), res->RES_FILENAME_STUB->value() + "_" + name).GetFullPath();
}
