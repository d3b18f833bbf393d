#include "probe_library.h"

#include <algorithm>

#include <wx/arrstr.h>
#include <wx/dir.h>
#include <wx/filename.h>
#include <wx/log.h>

std::vector<probe_entry_t> list_probes(const std::vector<wxString>& folders)
{
    std::vector<probe_entry_t> out;
    std::vector<wxString> done;
    for (const wxString& folder : folders) {
        if (folder.empty() || !wxDir::Exists(folder))
            continue;
        wxFileName canonical = wxFileName::DirName(folder);
        canonical.Normalize(wxPATH_NORM_ABSOLUTE | wxPATH_NORM_DOTS);
        // The recording may lie in the settings folder: list its files once.
        if (std::find(done.begin(), done.end(), canonical.GetFullPath()) != done.end())
            continue;
        done.push_back(canonical.GetFullPath());
        wxArrayString files;
        wxLogNull quiet;  // an unreadable folder simply offers no probes
        wxDir::GetAllFiles(folder, &files, "probe*.cfg", wxDIR_FILES);
        files.Sort();
        for (const wxString& path : files) {
            const wxString name = read_probe_name(path);
            if (name.empty())
                continue;
            const bool hidden = std::any_of(out.begin(), out.end(), [&](const probe_entry_t& e) { return e.name == name; });
            if (!hidden)
                out.push_back({name, path});
        }
    }
    return out;
}

probe_choice_t find_probe(const std::vector<wxString>& folders, const wxString& name, long number, probe_t* probe)
{
    const wxString wanted = wxString(name).Trim(true).Trim(false);
    if (wanted.empty() && number < 0)
        return probe_choice_t::none;
    const std::vector<probe_entry_t> probes = list_probes(folders);
    const probe_entry_t* entry = nullptr;
    if (!wanted.empty()) {
        const auto it = std::find_if(probes.begin(), probes.end(), [&](const probe_entry_t& e) { return e.name == wanted; });
        if (it == probes.end()) {
            wxLogWarning("Configuration file not found for probe '%s'.", wanted);
            return probe_choice_t::failed;
        }
        entry = &*it;
    } else if (probes.empty()) {
        wxLogWarning("No RF probe definition file");
        return probe_choice_t::failed;
    } else if (number >= static_cast<long>(probes.size())) {
        wxLogWarning("No RF probe definition file for probe number %ld: %zu probes are defined.", number,
                     probes.size());
        return probe_choice_t::failed;
    } else {
        entry = &probes[static_cast<std::size_t>(number)];
    }
    return read_probe_file(entry->path, probe) ? probe_choice_t::found : probe_choice_t::failed;
}
