#include "object_list.h"

#include <algorithm>

#include "resources/recording_data.h"

int object_list_length(const object_table& objects)
{
    int in_use = 0;  // one more than the highest object with outlines
    int renamed = 0;  // one more than the highest renamed object
    for (int i = 0; i < object_table::size; ++i) {
        if (objects[i].has_outlines())
            in_use = i + 1;
        if (!objects[i].name.StartsWith("Object "))
            renamed = i + 1;
    }
    int length = ((in_use + 6) / 6 * 3 + 3) * 2;
    length = std::max(length, (renamed + 5) / 6 * 6);
    // Capping after rounding to sixes would give 198 and hide the last two objects.
    return std::clamp(length, in_use, object_table::size);
}
