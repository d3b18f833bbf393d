#include "scene.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <utility>
#include <vector>

#include "demo/bscan.h"

namespace {

constexpr std::uint64_t demo_seed = 20240301;
constexpr long max_frames = 1000000;
constexpr long max_side = 65535;

// Each value after a space, as the shortest text that reads back to the same
// number, whatever the locale.
std::string doubles(std::initializer_list<double> values)
{
    std::string s;
    for (const double v : values) {
        char buf[64];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
        s += ' ';
        s.append(buf, ec == std::errc() ? end : buf);
    }
    return s;
}

std::string integers(std::initializer_list<std::uint64_t> values)
{
    std::string s;
    for (const std::uint64_t v : values) {
        char buf[32];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
        s += ' ';
        s.append(buf, ec == std::errc() ? end : buf);
    }
    return s;
}

// The fields after the key of one line.
class fields {
public:
    explicit fields(std::vector<std::string> words) : words_(std::move(words)) {}

    std::size_t count() const { return words_.size() - 1; }
    bool number(std::size_t i, double* out) const
    {
        const std::string& w = words_[i + 1];
        const auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), *out, std::chars_format::general);
        return ec == std::errc() && end == w.data() + w.size() && std::isfinite(*out);
    }
    bool integer(std::size_t i, std::uint64_t* out) const
    {
        const std::string& w = words_[i + 1];
        const auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), *out);
        return ec == std::errc() && end == w.data() + w.size();
    }
    bool vertex(std::size_t i, vertex3d* out) const
    {
        return number(i, &out->x) && number(i + 1, &out->y) && number(i + 2, &out->z);
    }

private:
    std::vector<std::string> words_;
};

// Keys other than shapes must come exactly once; each has a bit in `seen`.
enum key_bit : int {
    key_frames = 1,
    key_image = 2,
    key_scale = 4,
    key_calibration = 8,
    key_seed = 16,
    key_background = 32,
    key_skin = 64,
    all_keys = 127
};

bool once(key_bit bit, int* seen)
{
    const bool first = !(*seen & bit);
    *seen |= bit;
    return first;
}

bool parse_line(const fields& f, const std::string& key, demo_scene& s, std::uint64_t* frames, int* seen)
{
    probe_setup& p = s.probe;
    phantom& b = s.body;
    double volume_text = 0.0;  // checked to be a number, then recomputed
    if (key == "frames")
        return once(key_frames, seen) && f.count() == 1 && f.integer(0, frames) && *frames >= 1 &&
               *frames <= max_frames;
    if (key == "image") {
        std::uint64_t w = 0, h = 0;
        const bool ok = once(key_image, seen) && f.count() == 2 && f.integer(0, &w) && f.integer(1, &h) && w >= 1 &&
                        h >= 1 && w <= max_side && h <= max_side;
        p.width = static_cast<long>(w);
        p.height = static_cast<long>(h);
        return ok;
    }
    if (key == "scale")
        return once(key_scale, seen) && f.count() == 2 && f.number(0, &p.sx) && f.number(1, &p.sy) && p.sx > 0.0 &&
               p.sy > 0.0;
    if (key == "calibration") {
        bool ok = once(key_calibration, seen) && f.count() == 6;
        for (std::size_t i = 0; ok && i < 6; ++i)
            ok = f.number(i, &p.calibration[i]);
        return ok;
    }
    if (key == "seed")
        return once(key_seed, seen) && f.count() == 1 && f.integer(0, &s.seed);
    if (key == "background")
        return once(key_background, seen) && f.count() == 2 && f.number(0, &b.background) &&
               f.number(1, &b.attenuation) && b.attenuation >= 0.0;
    if (key == "skin") {
        skin_layer& k = b.skin;
        return once(key_skin, seen) && f.count() == 8 && f.vertex(0, &k.point) && f.vertex(3, &k.normal) &&
               f.number(6, &k.thickness) && f.number(7, &k.level) && k.thickness >= 0.0 &&
               (k.normal.x != 0.0 || k.normal.y != 0.0 || k.normal.z != 0.0);
    }
    if (key == "ellipsoid") {
        ellipsoid_shape& e = b.ellipsoids.emplace_back();
        return f.count() == 11 && f.vertex(0, &e.centre) && f.number(3, &e.semi[0]) && f.number(4, &e.semi[1]) &&
               f.number(5, &e.semi[2]) && f.number(6, &e.az) && f.number(7, &e.el) && f.number(8, &e.roll) &&
               f.number(9, &e.level) && f.number(10, &volume_text) && e.semi[0] > 0.0 && e.semi[1] > 0.0 &&
               e.semi[2] > 0.0;
    }
    if (key == "tube") {
        tube_shape& t = b.tubes.emplace_back();
        return f.count() == 9 && f.vertex(0, &t.start) && f.vertex(3, &t.end) && f.number(6, &t.radius) &&
               f.number(7, &t.level) && f.number(8, &volume_text) && t.radius > 0.0 && !(t.start == t.end);
    }
    return false;
}

}  // namespace

demo_scene make_demo_scene(int frames, long width, long height)
{
    demo_scene s;
    s.body = demo_phantom();
    s.probe = demo_probe(width, height);
    s.trajectory = demo_sweep(frames, s.probe);
    s.seed = demo_seed;
    return s;
}

cip_t render_bscan(const demo_scene& scene, std::size_t frame)
{
    if (frame >= scene.trajectory.size())
        return {};
    // Distinct, well spread speckle per frame from the one scene seed.
    const std::uint64_t seed = scene.seed * 0x9e3779b97f4a7c15ULL + frame;
    return render_bscan(scene.body, scene.trajectory[frame].pose.get(), scene.probe, seed);
}

cip_t render_labels(const demo_scene& scene, std::size_t frame)
{
    if (frame >= scene.trajectory.size())
        return {};
    return render_labels(scene.body, scene.trajectory[frame].pose.get(), scene.probe);
}

bool write_ground_truth(const std::string& path, const demo_scene& scene)
{
    const phantom& b = scene.body;
    const probe_setup& p = scene.probe;
    const auto& c = p.calibration;
    std::string text = "# Kestrane demo ground truth; lengths in cm, angles in degrees\n";
    text += "frames" + integers({scene.trajectory.size()}) + '\n';
    text += "image" + integers({static_cast<std::uint64_t>(p.width), static_cast<std::uint64_t>(p.height)}) + '\n';
    text += "scale" + doubles({p.sx, p.sy}) + '\n';
    text += "# x y z az el roll: image plane to sensor\n";
    text += "calibration" + doubles({c[0], c[1], c[2], c[3], c[4], c[5]}) + '\n';
    text += "seed" + integers({scene.seed}) + '\n';
    text += "# level attenuation_per_cm\n";
    text += "background" + doubles({b.background, b.attenuation}) + '\n';
    text += "# point normal thickness level\n";
    const skin_layer& k = b.skin;
    text += "skin" +
            doubles({k.point.x, k.point.y, k.point.z, k.normal.x, k.normal.y, k.normal.z, k.thickness, k.level}) + '\n';
    text += "# ellipsoid: centre semi_axes az el roll level volume\n";
    text += "# tube: start end radius level volume\n";
    for (const ellipsoid_shape& e : b.ellipsoids)
        text += "ellipsoid" +
                doubles({e.centre.x, e.centre.y, e.centre.z, e.semi[0], e.semi[1], e.semi[2], e.az, e.el, e.roll,
                         e.level, volume(e)}) +
                '\n';
    for (const tube_shape& t : b.tubes)
        text += "tube" +
                doubles({t.start.x, t.start.y, t.start.z, t.end.x, t.end.y, t.end.z, t.radius, t.level, volume(t)}) +
                '\n';
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return !out.fail();
}

bool read_ground_truth(const std::string& path, demo_scene* out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    demo_scene s;
    std::uint64_t frames = 0;
    int seen = 0;
    std::string text;
    while (std::getline(in, text)) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        std::istringstream split(text);
        std::vector<std::string> words;
        for (std::string w; split >> w;)
            words.push_back(w);
        if (words.empty() || words[0][0] == '#')
            continue;
        const std::string key = words[0];
        if (!parse_line(fields(std::move(words)), key, s, &frames, &seen))
            return false;
    }
    if (in.bad() || seen != all_keys || s.body.ellipsoids.size() + s.body.tubes.size() > max_shapes)
        return false;
    s.trajectory = demo_sweep(static_cast<int>(frames), s.probe);
    *out = std::move(s);
    return true;
}
