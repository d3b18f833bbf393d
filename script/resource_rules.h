// Which resources a script may set with 'param' and write to its results, and
// which describe the frames held (those follow the data, never a script).
#pragma once

#include <wx/string.h>

class base_res_t;

// The resource a param or write_header label names: the label itself, else
// with "RES_" put in front; null when neither exists.
base_res_t* find_script_resource(const wxString& label);

// Empty when 'param' may set r, else the refusal (said at parse).
wxString param_refusal(const base_res_t& r);

// The frames' count, size and kind: refused while frames are held, and left
// alone when the interpreter puts values back between files.
bool is_frame_geometry(const base_res_t& r);
