#include "demo_recording.h"

#include <filesystem>
#include <system_error>

#include <wx/filename.h>
#include <wx/log.h>

#include "demo/scene.h"
#include "demo/true_outlines.h"
#include "resources/probe_calibration.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"

bool make_demo_folder(const wxString& dir)
{
    // Another program may be making the same parent folders at this moment: that is no failure.
    std::error_code ec;
    std::filesystem::create_directories(static_cast<const char*>(dir.fn_str()), ec);
    if (!wxFileName::DirExists(dir)) {
        wxLogError("Could not create the folder %s.", dir);
        return false;
    }
    return true;
}

bool write_demo_recording(const wxString& dir, int frames, long width, long height, bool labels)
{
    if (frames < 1 || width < 1 || height < 1 || width > 65535 || height > 65535) {
        wxLogError("The demo needs at least one frame of a sensible size.");
        return false;
    }
    if (!make_demo_folder(dir))
        return false;
    const demo_scene scene = make_demo_scene(frames, width, height);
    recording_io->new_recording();

    const probe_setup& probe = scene.probe;
    res->RES_BUF_WIDTH->write(width);
    res->RES_BUF_HEIGHT->write(height);
    res->RES_FRAME_SIZE->write(width * height);
    res->RES_POS_REC->write(true);
    use_demo_probe(probe);
    res->RES_CAL_DATE->write("1 March 2024 (exact, synthetic)");
    res->RES_CAL_PROBE->write("Demo linear probe");
    res->RES_CAL_DEPTH->write(probe.sy * static_cast<double>(height));
    res->RES_COMMENT->write(std::make_shared<std::vector<wxString>>(std::vector<wxString>{
        "Synthetic freehand sweep over an ellipsoid and a vessel, made by kestrane-tool make-demo.",
        "Both are outlined exactly on every 10th frame.",
        wxString("The true shapes, probe calibration and scales are in ") + demo_truth_name + "."}));

    for (std::size_t i = 0; i < scene.trajectory.size(); ++i)
        bufp->append(labels ? render_labels(scene, i) : render_bscan(scene, i), scene.trajectory[i].pose,
                     scene.trajectory[i].time);
    recording_io->frames_changed();
    // B-scans come with their shapes outlined on every 10th frame, ready for
    // surfaces and volumes; label images are there to be segmented.
    if (!labels) {
        std::vector<matrix16d> placed;
        for (const sweep_pose& p : scene.trajectory)
            placed.push_back(image_to_world(p.pose.get(), probe));
        auto table = std::make_shared<object_table>();
        add_true_outlines(scene.body, placed, probe.sx, probe.sy, demo_outline_every, *table);
        res->RES_OBJECT->write(table);
    }

    const wxString truth = wxFileName(dir, demo_truth_name).GetFullPath();
    if (!write_ground_truth(truth.ToStdString(), scene)) {
        wxLogError("Could not write %s.", truth);
        return false;
    }
    return recording_io->save_as(wxFileName(dir, demo_recording_name).GetFullPath());
}

void use_demo_probe(const probe_setup& probe)
{
    write_probe_calibration(probe.calibration, probe.sx, probe.sy);
}
