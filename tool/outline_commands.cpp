// kestrane-tool volume: the planimetry volume of every object with outlines,
// as the Draw page shows it.
#include "outline_commands.h"

#include <cstdio>
#include <set>

#include "resources/recording_data.h"
#include "resources/recording_file.h"
#include "segmentation/planimetry.h"
#include "tool_session.h"

int run_volume(const std::vector<wxString>& args)
{
    if (args.size() != 1) {
        std::fprintf(stderr, "Usage: kestrane-tool volume FILE.ks\n");
        return 2;
    }
    tool_session_t tool;
    if (!recording_io->try_read_kestrane_file(args[0]))
        return 1;
    const std::shared_ptr<object_table>& objects = res->RES_OBJECT->value();
    if (!objects)
        return 1;
    const frame_placements placements = placements_from_session();
    int shown = 0;
    for (int i = 0; i < object_table::size; ++i) {
        contour_object& o = (*objects)[i];
        if (!o.has_outlines())
            continue;
        std::size_t frames = 0;
        std::set<long> sweeps;
        for (const contour_set& s : o.sets)
            if (!s.contours.empty()) {
                ++frames;
                if (const frame_placement* p = placements.at(s.frame))
                    sweeps.insert(p->sweep);
            }
        std::printf("%d\t%s\t%zu frames\t%zu sweeps\t%.3f ml\n", i, o.name.utf8_str().data(), frames, sweeps.size(),
                    planimetry_volume(o, placements));
        ++shown;
    }
    if (shown == 0)
        std::printf("No object has outlines.\n");
    return 0;
}
