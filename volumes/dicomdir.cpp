#include "dicomdir.h"

#include <filesystem>
#include <set>

#include <wx/filename.h>

#include "volumes/dicom_dataset.h"
#include "volumes/file_bytes.h"

namespace {

constexpr std::uint32_t directory_records = dicom_tag(0x0004, 0x1220), referenced_file = dicom_tag(0x0004, 0x1500);

bool parse_file(const wxString& path, std::vector<std::uint8_t>* bytes, dicom_dataset_t* ds, wxString* why)
{
    if (!read_file_bytes(path, bytes)) {
        *why = "it cannot be read";
        return false;
    }
    return parse_dicom(*bytes, ds, why);
}

// A component safe to join below the folder.
bool plain_component(const std::string& c)
{
    if (c.empty() || c == "." || c == ".." || c.size() > 255)
        return false;
    for (char ch : c)
        if (ch == '/' || ch == '\\' || ch == '\0')
            return false;
    return true;
}

}  // namespace

bool is_dicomdir(const wxString& path)
{
    if (wxFileName(path).GetFullName().Upper() == "DICOMDIR")
        return true;
    std::vector<std::uint8_t> bytes;
    dicom_dataset_t ds;
    wxString why;
    return wxFileName::FileExists(path) && parse_file(path, &bytes, &ds, &why) && ds.find(directory_records);
}

bool read_dicomdir(const wxString& path, std::vector<wxString>* files, long* left_out, wxString* why)
{
    files->clear();
    *left_out = 0;
    std::vector<std::uint8_t> bytes;
    dicom_dataset_t ds;
    if (!parse_file(path, &bytes, &ds, why))
        return false;
    const dicom_element_t* records = ds.find(directory_records);
    if (!records) {
        *why = "it holds no directory records";
        return false;
    }
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(static_cast<const char*>(wxFileName(path).GetPath().fn_str()));
    std::set<wxString> seen;
    for (const dicom_items_t& record : records->items) {
        const auto id = ds.text(referenced_file, &record);
        if (!id)
            continue;  // a patient, study or series record
        fs::path file = folder.empty() ? fs::path(".") : folder;
        bool safe = true;
        std::size_t start = 0;
        std::error_code ec;
        while (start <= id->size() && safe) {
            const std::size_t bar = std::min(id->find('\\', start), id->size());
            std::string component = id->substr(start, bar - start);
            while (!component.empty() && component.back() == ' ')
                component.pop_back();
            safe = plain_component(component);
            file /= component;
            // Folders on the way must be real folders: a link could lead out of the medium.
            if (safe && bar < id->size())
                safe = fs::symlink_status(file, ec).type() == fs::file_type::directory;
            start = bar + 1;
        }
        if (!safe || fs::symlink_status(file, ec).type() != fs::file_type::regular) {
            ++*left_out;
            continue;
        }
        const wxString name(file.string());
        if (seen.insert(name).second)
            files->push_back(name);
    }
    return true;
}
