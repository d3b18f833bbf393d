// The script's recording functions FILE_OPEN, FILE_SAVE, FILE_SAVEAS and
// FILE_CLOSE, which work on the recording files alone and so belong to the
// interpreter rather than to a page. They never ask for a name.
#pragma once

class script_function_table_t;

void register_file_functions(script_function_table_t& table);
