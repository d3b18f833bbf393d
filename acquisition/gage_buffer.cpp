#include "gage_buffer.h"

#include <wx/log.h>

bool gage_entry_points_t::complete() const
{
    return find_config_file && initialise && remove && select_board && set_capture_mode && set_trigger && set_delay &&
           start_capture && busy && abort && record_address;
}

std::vector<wxString> gage_buffer::sources()
{
    // Most machines have no digitiser: say so once, not every time sources are listed.
    if (!available() && !told_)
        wxLogDebug("No CompuScope boards found.\n");
    told_ = true;
    return {};
}
