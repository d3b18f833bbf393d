#include "serial_ports.h"

#include <wx/dir.h>

wxArrayString serial_port_names()
{
    wxArrayString names;
    for (const char* pattern : {"ttyS*", "ttyUSB*", "ttyACM*"}) {
        wxArrayString found;
        wxDir::GetAllFiles("/dev", &found, pattern, wxDIR_FILES);
        found.Sort();
        for (const wxString& f : found)
            names.Add(f);
    }
    return names;
}
