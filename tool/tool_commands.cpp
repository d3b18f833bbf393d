#include "tool_commands.h"

#include <cstdio>

#include "calibration_commands.h"
#include "correction_commands.h"
#include "density_commands.h"
#include "dicom_commands.h"
#include "recording_commands.h"
#include "script_commands.h"
#include "stream_commands.h"
#include "surface_commands.h"
#include "thickness_commands.h"
#include "capture_commands.h"
#include "landmark_commands.h"
#include "model_commands.h"
#include "outline_commands.h"
#include "sequence_commands.h"
#include "tracker_commands.h"
#include "gantry_commands.h"
#include "swept_commands.h"
#include "volume_commands.h"

const char* kestrane_version()
{
    return "6.02";
}

namespace {

int run_version(const std::vector<wxString>&)
{
    std::printf("kestrane-tool %s\n", kestrane_version());
    return 0;
}

}  // namespace

const std::vector<tool_command_t>& tool_commands()
{
    static const std::vector<tool_command_t> commands = {
        {"version", "", "print the program version", run_version},
        {"info", "FILE.ks|FILE.dcm|FOLDER|VOLUME",
         "describe a recording (frames, size, data kind, positions, time span, objects), a DICOM file (transfer "
         "syntax, series, size, depth, spacings, position, orientation, rescale, window; pixels not decoded), the "
         "series and picture sequences of a folder, or a MetaImage, NRRD, Analyze or QCT volume",
         run_info},
        {"make-demo", "DIR [--frames N] [--size WxH] [--rf] [--labels] [--correction [--jitter MM] [--pressure MM]]",
         "write a synthetic demo sweep with its ground truth into DIR, its shapes outlined on every 10th frame; "
         "--rf adds an RF sweep and probe_demo.cfg, --labels makes the frames the true shapes' label images; "
         "--correction writes instead a sweep for 'correct': speckle fixed in the tissue, recorded poses with a "
         "known in-plane error (--jitter, 1 mm and 1 degree by default) and tissue compressed by up to --pressure "
         "mm (default 0), the truth per frame in kestrane_demo_correction_truth.csv",
         run_make_demo},
        {"correct", "RECORDING.ks OUT.ks [--pressure] [--sweep N]",
         "correct the recorded positions of every sweep (or sweep N) from the images: consecutive frames are "
         "correlated for their in-plane motion, which is then bent smoothly onto the recorded path; --pressure "
         "also removes the tissue compression by the probe. Prints each sweep's polynomial degree and largest "
         "data movements and writes OUT.ks (never the input); exits non-zero when a sweep could not be corrected",
         run_correct},
        {"export-frames", "FILE.ks RANGE OUTPUT",
         "export frames (e.g. 0:2:100) as a new recording (.ks) or numbered images (.png .bmp .jpeg .tiff)",
         run_export_frames},
        {"export-voxels", "FILE.ks OUTPUT [--step K] [--spacing MM] [--nearest|--linear] [--surfaces] [--crop K]",
         "export a regular voxel volume (.ks recording or numbered .png .bmp .jpeg .tiff slices); --step K: "
         "resolution and spacing of K pixel widths, --spacing MM: spacing in mm, --nearest: nearest frame "
         "(faster) instead of the linear blend, --surfaces: build the objects' surfaces first so the slices "
         "carry their outlines, --crop K: keep only what lies inside object K's surface",
         run_export_voxels},
        {"segment", "FILE.ks --window LO:HI[:BARRIER] [--seed X,Y] [--frames A:B[:STEP]] [--object K] [--jump J] "
                    "[--holes all|hole|body] [--connected] [--ridges] [--frame-gap G]",
         "outline the regions of the threshold window on each frame, as segmentation clicks do, and save the "
         "recording",
         run_segment},
        {"surface", "FILE.ks OUT.ply|OUT.wrl [--resolution uber-low..very-high] [--strength N] [--object K] [--vrml2]",
         "build the surface of every object with outlines and save one file per object (OUT0.ply, ...); prints "
         "name, volume, area, centre, points and triangles",
         run_surface},
        {"calibrate",
         "FILE.ks [--scale-lines X1,Y1,X2,Y2,MM1,X3,Y3,X4,Y4,MM2] [--temperature C] [--truth FILE] [--seed S] "
         "[--write | --template FILE.kst]",
         "plane-phantom calibration from a water-bath sweep: detects the floor in every posed frame, solves and "
         "prints the calibration, plane, RMS and each line's residuals; saves only with --write or --template",
         run_calibrate},
        {"make-calib-demo", "DIR [--seed S] [--temperature C] [--frames N]",
         "write a synthetic water-bath sweep for calibration, uncalibrated, with its truth file into DIR",
         run_make_calib_demo},
        {"import",
         "PATH OUT.ks [--series N] [--window CENTRE,WIDTH] [--raw] | SEQ.mha|SEQ.nrrd OUT.ks "
         "[--image-to-probe FILE|MATRIX] [--probe NAME] [--reference NAME]",
         "make DICOM data (a file, DICOMDIR or folder), pictures or a MetaImage, NRRD, Analyze or QCT volume into "
         "a recording of slices placed by their poses: beside its DICOM files it keeps their 16-bit values, "
         "elsewhere (or --raw) frames windowed to 8-bit grey; several series are listed unless --series picks one. "
         "A tracked ultrasound sequence (per-frame Seq_Frame fields) becomes a recording of its frames placed by "
         "the probe's pose (ProbeToTracker, or ProbeToReference with --reference), the image-to-probe matrix (a "
         "device-set XML file or 16 numbers, mm) made the probe calibration and pixel scales; the fit's residual "
         "is printed",
         run_import},
        {"density-calibrate", "FILE.ks [--save]",
         "fit a CT recording's bone-density scale and offset to the phantom's inserts (objects named by their "
         "density in mg/cm^3, outlined on the frames), print each insert's mean HU and the line; --save keeps them",
         run_density_calibrate},
        {"stream", "FILE.ks|SEQ.mha|SEQ.nrrd [--port P] [--image-to-probe FILE|MATRIX] [--wait-client S] [--loop]",
         "serve a recording or tracked sequence over OpenIGTLink at its recorded pace (frames as IMAGE messages "
         "placed by pose and calibration, poses as TRANSFORM messages; port 18944 by default), to try 3D "
         "Slicer's connector without a scanner",
         run_stream},
        {"receive", "HOST:PORT OUT.ks [--frames N] [--seconds S] [--probe NAME]",
         "record what an OpenIGTLink server sends: IMAGE messages posed by the latest ProbeToReference (or NAME) "
         "TRANSFORM, the probe calibration and pixel size from the first posed image's placement",
         run_receive},
        {"export-sequence", "IN.ks OUT.mha|OUT.nrrd [--raw]",
         "write a recording as a tracked ultrasound sequence: 8-bit frames, each frame's ProbeToTracker transform "
         "(INVALID without a pose) and time stamp, zlib/gzip unless --raw; prints the image-to-probe matrix, which "
         "the header also carries as ImageToProbeTransform",
         run_export_sequence},
        {"thickness", "VOLUME SURFACE.ply OUT_DIR [--template FILE.kst] [--technique T] [--line MM] [--width W] "
                      "[--gauss MM] [--rect MM] [--outer HU] [--cortex HU] [--inner HU] [--in-frame] [--threshold] "
                      "[--fwhm] [--endo] [--local-peak] [--post-blur] [--metal] [--inner-layer] [--outer-layer] "
                      "[--estimate-density] [--outlier-angle DEG] [--outlier-distance N] [--smooth N] [--smooth-fill N] [--create] [--alternate OTHER.ply] "
                      "[--plots png,csv] [--profile K] [--dump-profiles] [--series N] [--threads N] [--overwrite]",
         "cortical thickness at every point of a bone's surface (PLY in cm with outward normals) in a CT volume; "
         "writes the result files OUT_DIR/NAME_thick_dat and the rest, and prints a summary",
         run_thickness},
        {"run", "SCRIPT [DIR] [--files RANGE] [--results DIR] [--list] [--each PARTS]",
         "run a script without the program's window: on the recordings of its 'open' folder (or DIR), each from "
         "the same starting state, writing its results table and log; --list prints the numbered recordings it "
         "would process; --each runs each recording as its own batch task (table, log, messages and status under "
         "PARTS); exits non-zero when the script fails",
         run_script},
        {"merge-results", "OUT.txt PART.txt...",
         "merge the results tables of one script run split into parts (as the batch scripts split a cohort): "
         "rows in file-number order, then in the order written",
         run_merge_results},
        {"volume", "FILE.ks",
         "print the volume of every object with outlines: number, name, frames, sweeps, millilitres", run_volume},
        {"landmarks", "FILE.ks OUT.csv",
         "export the landmarks as CSV lines (file, landmark, type, surface, frame, x, y, z in mm); an existing "
         "file is appended to",
         run_landmarks},
        {"fit-model", "MODEL.ssm SURFACE.ply [--iterations N] [--modes K] [--lad] [--range MM] [--out FILE]",
         "fit a statistical shape model (MODEL.ply beside it) to a surface's points, after its landmarks when both "
         "files name some: prints transform, scale, mode weights and the RMS of each iteration; --out saves the "
         "fitted surface",
         run_fit_model},
        {"make-model-demo", "DIR [--vertices N] [--modes K] [--outliers F] [--mirrored] [--seed S]",
         "write a small shape model (PLY with landmarks, .ssm) and an instance of it under a known transform and "
         "weights (PLY with landmarks, truth file) into DIR",
         run_make_model_demo},
        {"capture", "[SOURCE [--tracker PORT] [--frames N] [--rate R] [--template T] [--replay FILE.ks] [OUT.ks]]",
         "list the image sources, or record N frames from one (poses from the tracker on PORT) and save them",
         run_capture},
        {"track", "PORT [--detect KIND] [--speed BPS] [--count N] [--tool T] [--pointer P]",
         "find the position tracker on a serial port and print N time-stamped poses with their states", run_track},
        {"zsq-check", "FILE.zsq", "check a gantry command sequence: its errors with their lines, else its step count",
         run_zsq_check},
        {"zsq-run", "PORT FILE.zsq [--steps N]",
         "start the Zaber gantry on PORT, home it and run the sequence step by step (N steps at most), printing "
         "the positions",
         run_zsq_run},
        {"swept-motor", "PORT [--sweep FPS]",
         "initialise a swept probe's motor on PORT (find its index mark and centre it); with --sweep run one timed "
         "sweep of the recording settings' frames at FPS frames/s and print where each frame was taken",
         run_swept_motor},
    };
    return commands;
}
