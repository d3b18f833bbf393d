// The script's THICKNESS_ functions: each runs the operation of the same
// name on the Thickness page (thickness_actions.h). An object is named by
// its number (from 0, as a script's loop passes it) or by its name.
#pragma once

class script_function_table_t;

void register_thickness_functions(script_function_table_t& table);
