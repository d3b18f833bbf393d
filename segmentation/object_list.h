// How many objects the object list offers.
#pragma once

class object_table;

// One more than the highest object in use, rounded up to steps of 6 (at least
// 12), extended to renamed objects further up; never more than the table.
int object_list_length(const object_table& objects);
