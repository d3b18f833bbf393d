#include "calibration_demo.h"

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include <wx/filename.h>
#include <wx/log.h>

#include "demo/demo_recording.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"

namespace {

struct truth_key {
    const char* name;
    std::size_t count;
};
constexpr truth_key truth_keys[] = {{"calibration", 6}, {"scales", 2},       {"plane", 4},
                                    {"temperature", 1}, {"scale_line_1", 5}, {"scale_line_2", 5}};

}  // namespace

calibration_truth_t truth_of(const water_bath_t& bath)
{
    calibration_truth_t t;
    t.calibration = bath.probe.calibration;
    t.sx = bath.probe.sx;
    t.sy = bath.probe.sy;
    t.plane = {bath.normal.x, bath.normal.y, bath.normal.z, bath.d};
    t.celsius = bath.celsius;
    t.scale_line_ends = bath.scale_line_ends;
    t.scale_length1_mm = 10.0 * bath.scale_length1_cm;
    t.scale_length2_mm = 10.0 * bath.scale_length2_cm;
    return t;
}

bool write_calibration_truth(const wxString& path, const calibration_truth_t& t)
{
    std::ofstream out(static_cast<const char*>(path.fn_str()));
    out.precision(17);
    const auto& c = t.calibration;
    const auto& e = t.scale_line_ends;
    out << "# The true probe calibration of kestrane_calib_demo.ks, made by kestrane-tool make-calib-demo.\n"
        << "# calibration: x y z (cm) azimuth elevation roll (degrees), image to probe sensor\n"
        << "calibration " << c[0] << ' ' << c[1] << ' ' << c[2] << ' ' << c[3] << ' ' << c[4] << ' ' << c[5] << '\n'
        << "# scales: cm per pixel across and down\n"
        << "scales " << t.sx << ' ' << t.sy << '\n'
        << "# plane: the bath's floor, a x + b y + c z + d = 0 in the tracker's frame (cm)\n"
        << "plane " << t.plane[0] << ' ' << t.plane[1] << ' ' << t.plane[2] << ' ' << t.plane[3] << '\n'
        << "# temperature: of the water, Celsius\n"
        << "temperature " << t.celsius << '\n'
        << "# scale lines: x1 y1 x2 y2 (pixels) and the length in mm\n"
        << "scale_line_1 " << e[0] << ' ' << e[1] << ' ' << e[2] << ' ' << e[3] << ' ' << t.scale_length1_mm << '\n'
        << "scale_line_2 " << e[4] << ' ' << e[5] << ' ' << e[6] << ' ' << e[7] << ' ' << t.scale_length2_mm << '\n';
    out.close();
    return !out.fail();
}

bool parse_calibration_truth(const std::string& text, calibration_truth_t* t, std::string* error)
{
    std::map<std::string, std::vector<double>> values;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::istringstream words(line);
        std::string key;
        if (!(words >> key) || key[0] == '#')
            continue;
        const truth_key* known = nullptr;
        for (const truth_key& k : truth_keys)
            if (key == k.name)
                known = &k;
        if (!known || values.count(key)) {
            *error = "line " + std::to_string(number) + ": " + (known ? "repeated" : "unknown") + " key '" +
                     key.substr(0, 40) + "'";
            return false;
        }
        std::vector<double> v;
        std::string word;
        while (words >> word) {
            char* end = nullptr;
            const double d = std::strtod(word.c_str(), &end);
            if (end == word.c_str() || *end != '\0' || !std::isfinite(d)) {
                *error = "line " + std::to_string(number) + ": '" + word.substr(0, 40) + "' is not a number";
                return false;
            }
            v.push_back(d);
        }
        if (v.size() != known->count) {
            *error =
                "line " + std::to_string(number) + ": " + key + " needs " + std::to_string(known->count) + " values";
            return false;
        }
        values[key] = v;
    }
    for (const truth_key& k : truth_keys)
        if (!values.count(k.name)) {
            *error = std::string("no ") + k.name + " line";
            return false;
        }
    std::copy_n(values["calibration"].begin(), 6, t->calibration.begin());
    t->sx = values["scales"][0];
    t->sy = values["scales"][1];
    std::copy_n(values["plane"].begin(), 4, t->plane.begin());
    t->celsius = values["temperature"][0];
    const auto& l1 = values["scale_line_1"];
    const auto& l2 = values["scale_line_2"];
    t->scale_line_ends = {l1[0], l1[1], l1[2], l1[3], l2[0], l2[1], l2[2], l2[3]};
    t->scale_length1_mm = l1[4];
    t->scale_length2_mm = l2[4];
    return true;
}

bool read_calibration_truth(const wxString& path, calibration_truth_t* truth, std::string* error)
{
    std::ifstream in(static_cast<const char*>(path.fn_str()));
    if (!in) {
        *error = "cannot open " + path.ToStdString();
        return false;
    }
    // A truth file is a few hundred bytes: anything much larger is not one.
    std::string text(64 * 1024, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    if (in.gcount() == std::streamsize(text.size())) {
        *error = path.ToStdString() + " is too large to be a truth file";
        return false;
    }
    text.resize(std::size_t(in.gcount()));
    return parse_calibration_truth(text, truth, error);
}

bool write_calibration_demo(const wxString& dir, std::uint64_t seed, double celsius, int frames)
{
    if (frames < 10 || frames > 100000 || !(celsius >= 1.0 && celsius <= 90.0)) {
        wxLogError("The calibration demo needs 10 to 100000 frames and water at 1 to 90 Celsius.");
        return false;
    }
    if (!make_demo_folder(dir))
        return false;
    const water_bath_t bath = make_water_bath(seed, celsius);
    const auto poses = water_bath_poses(bath, frames, seed + 1);
    recording_io->new_recording();
    res->RES_BUF_WIDTH->write(bath.probe.width);
    res->RES_BUF_HEIGHT->write(bath.probe.height);
    res->RES_FRAME_SIZE->write(bath.probe.width * bath.probe.height);
    res->RES_POS_REC->write(true);
    res->RES_COMMENT->write(std::make_shared<std::vector<wxString>>(std::vector<wxString>{
        "Synthetic sweep over a water bath's floor, made by kestrane-tool make-calib-demo; not calibrated.",
        wxString::Format("The water is at %.1f Celsius.", celsius),
        wxString("The true calibration, scales, floor and two scale lines are in ") + calibration_truth_name + "."}));
    constexpr std::uint64_t first_time = 17092836000000000ULL, frame_ticks = 400000;  // 25 frames a second
    for (std::size_t i = 0; i < poses.size(); ++i) {
        counted_array_ptr<float> pose(6);
        std::copy(poses[i].begin(), poses[i].end(), pose.get());
        bufp->append(render_floor_bscan(bath, poses[i].data(), seed * 100003 + i), pose, first_time + i * frame_ticks);
    }
    recording_io->frames_changed();
    const wxString truth = wxFileName(dir, calibration_truth_name).GetFullPath();
    if (!write_calibration_truth(truth, truth_of(bath))) {
        wxLogError("Could not write %s.", truth);
        return false;
    }
    return recording_io->save_as(wxFileName(dir, calibration_demo_name).GetFullPath());
}
