// kestrane-tool volume: the planimetry volume of every object with outlines,
// as the Draw page shows it; kestrane-tool segment: threshold segmentation of
// a run of frames, inserted as the review window's segmentation clicks insert.
#include "outline_commands.h"

#include <cmath>
#include <cstdio>
#include <set>

#include "common/dynabuf.h"
#include "display/globcmap.h"
#include "segmentation/grassfire_session.h"
#include "segmentation/outline_editing.h"

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

namespace {

int segment_usage()
{
    std::fprintf(stderr,
                 "Usage: kestrane-tool segment FILE.ks --window LO:HI[:BARRIER] [--seed X,Y] [--frames A:B[:STEP]]\n"
                 "       [--object K] [--jump J] [--holes all|hole|body] [--connected] [--ridges] [--frame-gap G]\n"
                 "  --window    grey levels selected (LO to HI; LO above HI selects outside them) and the barrier level\n"
                 "  --seed      the pixel clicked on each frame; without it every selected region is outlined\n"
                 "  --frames    frames A to B (counting from 0) every STEP; all frames by default\n"
                 "  --object    the object the outlines go into (0 to 199; default 0)\n"
                 "  --jump      gaps of up to J pixels are crossed (default 10)\n"
                 "  --holes     all: outlines as found, hole: the holes only, body: holes filled (default)\n"
                 "  --frame-gap burn through every G-th frame from the first frame in 3D\n");
    return 2;
}

bool parse_pair(const wxString& text, wxUniChar separator, long* a, long* b)
{
    return text.BeforeFirst(separator).ToLong(a) && text.AfterFirst(separator).ToLong(b);
}

// A:B[:STEP], inclusive, within the recording.
bool parse_frames(const wxString& text, long frames, std::vector<long>* out)
{
    long a = 0, b = 0, step = 1;
    const wxString rest = text.AfterFirst(':');
    if (!text.BeforeFirst(':').ToLong(&a) || !rest.BeforeFirst(':').ToLong(&b) ||
        (rest.Contains(":") && !rest.AfterFirst(':').ToLong(&step)) || step < 1 || a < 0 || b < a || b >= frames)
        return false;
    for (long f = a; f <= b; f += step)
        out->push_back(f);
    return true;
}

}  // namespace

int run_segment(const std::vector<wxString>& args)
{
    if (args.empty())
        return segment_usage();
    long seed_x = grassfire::no_seed, seed_y = 0, object = 0, jump = 10, gap = 0, holes = 2;
    long lo = 0, hi = 0, barrier = 0;
    bool have_window = false, connected = false, ridges = false;
    wxString frame_text;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const bool has_value = i + 1 < args.size();
        const wxString value = has_value ? args[i + 1] : wxString();
        bool ok = true;
        if (args[i] == "--connected") {
            connected = true;
            continue;
        }
        if (args[i] == "--ridges") {
            ridges = true;
            continue;
        }
        if (!has_value) {
            ok = false;
        } else if (args[i] == "--window") {
            const wxString rest = value.AfterFirst(':');
            ok = value.BeforeFirst(':').ToLong(&lo) && rest.BeforeFirst(':').ToLong(&hi) &&
                 (!rest.Contains(":") || rest.AfterFirst(':').ToLong(&barrier)) && lo >= 0 && lo <= 255 &&
                 hi >= 0 && hi <= 255 && barrier >= 0 && barrier <= 255;
            have_window = ok;
        } else if (args[i] == "--seed") {
            ok = parse_pair(value, ',', &seed_x, &seed_y) && seed_x >= 0 && seed_y >= 0;
        } else if (args[i] == "--frames") {
            frame_text = value;
        } else if (args[i] == "--object") {
            ok = value.ToLong(&object) && object >= 0 && object < object_table::size;
        } else if (args[i] == "--jump") {
            ok = value.ToLong(&jump) && jump >= 0 && jump <= 1000;
        } else if (args[i] == "--frame-gap") {
            ok = value.ToLong(&gap) && gap >= 0;
        } else if (args[i] == "--holes") {
            holes = value == "all" ? 0 : value == "hole" ? 1 : value == "body" ? 2 : -1;
            ok = holes >= 0;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "kestrane-tool segment: bad option '%s'.\n", args[i].utf8_str().data());
            return segment_usage();
        }
        ++i;
    }
    if (!have_window) {
        std::fprintf(stderr, "kestrane-tool segment: give the grey levels to select with --window LO:HI.\n");
        return segment_usage();
    }
    if (connected && seed_x == grassfire::no_seed) {
        std::fprintf(stderr, "kestrane-tool segment: --connected needs a --seed.\n");
        return 2;
    }
    tool_session_t tool;
    globcmap_t cmap;  // segmentation follows the threshold colour map, as on screen
    colourmap = &cmap;
    struct unset_t {
        ~unset_t() { colourmap = nullptr; }
    } unset;
    if (!recording_io->try_read_kestrane_file(args[0]))
        return 1;
    std::vector<long> frames;
    if (frame_text.empty()) {
        for (long f = 0; f < bufp->frames(); ++f)
            frames.push_back(f);
    } else if (!parse_frames(frame_text, bufp->frames(), &frames)) {
        std::fprintf(stderr, "kestrane-tool segment: frames '%s' are not A:B[:STEP] within the %ld frames.\n",
                     frame_text.utf8_str().data(), bufp->frames());
        return 2;
    }
    res->RES_CMAP_GREY_LO->write_no_changeprocs(lo);
    res->RES_CMAP_GREY_HI->write_no_changeprocs(hi);
    res->RES_CMAP_GREY_ANTI->write_no_changeprocs(barrier);
    res->RES_CMAP_BINARY->write_no_changeprocs(true);
    res->RES_SEGMENT_TYPE->write_no_changeprocs(holes);
    res->RES_SEGMENT_CONNECTED->write_no_changeprocs(connected);
    res->RES_SEGMENT_RIDGES->write_no_changeprocs(ridges);
    res->RES_SEGMENT_FRAME->write_no_changeprocs(gap);
    base_res_t::make_pending_writes_happen();
    if (gap >= 1)
        frames.resize(1);  // one click burns through the stack

    auto table = std::make_shared<object_table>(*res->RES_OBJECT->value());
    contour_object& target = (*table)[static_cast<int>(object)];
    const double simplify = draw_tolerances_for(0, res->RES_SIMPLIFY_THRESH->value(), false, 1.0, true).simplify;
    const double mm2 = 100.0 * res->RES_XSCALE->value() * res->RES_YSCALE->value();
    long outlined = 0;
    for (long f : frames) {
        const auto found = segment_click_from_session(f, seed_x, seed_y, jump);
        if (!found) {
            std::fprintf(stderr, "kestrane-tool segment: cancelled.\n");
            return 1;
        }
        for (const contour_set& set : *found) {
            const cip_t image = bufp->imagecp(set.frame);
            std::size_t count = 0;
            for (const contour& c : set.contours)
                if (auto outline = tidy_outline(c, simplify, image.width(), image.height()))
                    count += target.insert(set.frame, std::move(*outline)) ? 1 : 0;
            if (count == 0)
                continue;
            ++outlined;
            contour_set& kept = target.set_for_frame(set.frame);
            kept.region(1, true);
            std::printf("frame %d\t%zu contours\t%.2f square pixels\t%.3f sq mm\n", int(set.frame), count,
                        kept.measured() ? kept.area : 0.0, kept.measured() ? kept.area * mm2 : 0.0);
        }
    }
    if (outlined == 0) {
        std::printf("No outlines found; the recording is unchanged.\n");
        return 0;
    }
    res->RES_OBJECT->write(table);
    if (!recording_io->try_write_kestrane_file(args[0])) {
        std::fprintf(stderr, "kestrane-tool segment: could not save %s.\n", args[0].utf8_str().data());
        return 1;
    }
    std::printf("%ld frames outlined in object %ld (%s); saved %s\n", outlined, object,
                target.name.utf8_str().data(), args[0].utf8_str().data());
    return 0;
}
