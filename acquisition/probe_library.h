// Where probe definition files are found, the list of probes they offer and
// the probe a recording names. The RF display and the RF pages ask here.
#pragma once

#include <vector>

#include <wx/string.h>

#include "probe_file.h"

struct probe_entry_t {
    wxString name;  // its PROBE_NAME
    wxString path;
};

// The "probe*.cfg" files of each folder in turn (the recording's folder, then
// the settings folder), each folder's files in name order. A probe name met
// earlier hides later files of the same name. This order numbers the probes
// (RES_RF_PROBE); files that name no probe are left out.
std::vector<probe_entry_t> list_probes(const std::vector<wxString>& folders);

enum class probe_choice_t { none, found, failed };

// The probe a recording names: by its name, else by its number in the list
// above; an empty name with a negative number means no probe. `failed` (with
// the reason logged) when one is named but no usable file defines it.
probe_choice_t find_probe(const std::vector<wxString>& folders, const wxString& name, long number, probe_t* probe);
