#include "rf_demo.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <random>
#include <sstream>
#include <vector>

#include <wx/file.h>
#include <wx/filename.h>
#include <wx/log.h>

#include "common/dynabuf.h"
#include "demo/bscan.h"
#include "demo/demo_recording.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"

namespace {

double cycles_per_sample(const rf_demo_setup& s)
{
    return s.centre_mhz / s.sampling_mhz;
}

// Scatterers of unit variance filtered by pulse and filter give an echo power
// of A^2 sigma_p^2 sqrt(pi) / sigma, sigma^2 = sigma_p^2 + sigma_f^2; the pulse
// is scaled by the inverse so the display sees A^2 on average.
double pulse_scale(const rf_demo_setup& s)
{
    const double sigma = std::hypot(s.pulse_sigma, s.filter_sigma);
    return 1.0 / std::sqrt(s.pulse_sigma * s.pulse_sigma * std::sqrt(std::numbers::pi) / sigma);
}

}  // namespace

demo_scene make_rf_demo_scene(int frames, const rf_demo_setup& setup)
{
    demo_scene scene = make_demo_scene(frames, setup.vectors, setup.samples);
    return scene;
}

std::vector<double> rf_echo_amplitude(const demo_scene& scene, std::size_t frame)
{
    const cip_t labels = render_labels(scene, frame);
    if (labels.empty())
        return {};
    const phantom& body = scene.body;
    std::array<double, 256> level{};
    level[label_background] = body.background;
    level[label_skin] = body.skin.level;
    for (std::size_t k = 0; k < body.ellipsoids.size(); ++k)
        level[ellipsoid_label(k)] = body.ellipsoids[k].level;
    for (std::size_t k = 0; k < body.tubes.size(); ++k)
        level[tube_label(body, k)] = body.tubes[k].level;
    const long w = labels.width(), h = labels.height();
    std::vector<double> out(static_cast<std::size_t>(w * h));
    for (long v = 0; v < h; ++v) {
        const double gain = std::exp(-body.attenuation * static_cast<double>(v) * scene.probe.sy);
        for (long u = 0; u < w; ++u)
            out[static_cast<std::size_t>(v * w + u)] = level[labels.pixels()[v * w + u]] * gain;
    }
    return out;
}

cip_t render_rf_frame(const demo_scene& scene, std::size_t frame, const rf_demo_setup& setup)
{
    const std::vector<double> amplitude = rf_echo_amplitude(scene, frame);
    if (amplitude.empty())
        return {};
    const long vectors = scene.probe.width, samples = scene.probe.height;
    cip_t image = cip_t::make_16bit(vectors, samples);
    if (image.empty())
        return image;
    const long reach = static_cast<long>(std::ceil(4.0 * setup.pulse_sigma));
    std::vector<double> pulse(static_cast<std::size_t>(2 * reach + 1));
    const double scale = pulse_scale(setup) * setup.amplitude_per_grey;
    for (long t = -reach; t <= reach; ++t) {
        const double g = std::exp(-0.5 * static_cast<double>(t * t) / (setup.pulse_sigma * setup.pulse_sigma));
        pulse[static_cast<std::size_t>(t + reach)] =
            scale * g * std::cos(2.0 * std::numbers::pi * cycles_per_sample(setup) * static_cast<double>(t));
    }
    std::mt19937_64 random(scene.seed + frame);
    std::normal_distribution<double> scatter(0.0, 1.0);
    std::vector<double> scatterers(static_cast<std::size_t>(samples));
    std::int16_t* out = image.signed_samples();
    for (long u = 0; u < vectors; ++u) {
        for (long s = 0; s < samples; ++s)
            scatterers[static_cast<std::size_t>(s)] = scatter(random) * amplitude[static_cast<std::size_t>(s * vectors + u)];
        std::int16_t* vector = out + u * samples;
        for (long s = 0; s < samples; ++s) {
            double sum = 0.0;
            for (long t = std::max(-reach, s - samples + 1); t <= std::min(reach, s); ++t)
                sum += scatterers[static_cast<std::size_t>(s - t)] * pulse[static_cast<std::size_t>(t + reach)];
            vector[s] = static_cast<std::int16_t>(std::lround(std::clamp(sum, -32767.0, 32767.0)));
        }
    }
    std::fill(image.pixels(), image.pixels() + image.pixel_count(), std::uint8_t{1});
    return image;
}

std::string demo_probe_text(const rf_demo_setup& setup)
{
    const long length = std::max(1L, setup.filter_length), half = length / 2;
    std::vector<double> window(static_cast<std::size_t>(length));
    double sum = 0.0;
    for (long k = 0; k < length; ++k) {
        const double t = static_cast<double>(k - half);
        window[static_cast<std::size_t>(k)] = std::exp(-0.5 * t * t / (setup.filter_sigma * setup.filter_sigma));
        sum += window[static_cast<std::size_t>(k)];
    }
    // A window summing to 2 gives a tone of amplitude A an I, Q magnitude of A.
    std::ostringstream real, imag;
    for (long k = 0; k < length; ++k) {
        const double t = static_cast<double>(k - half);
        const double w = 2.0 * 65536.0 * window[static_cast<std::size_t>(k)] / sum;
        const double phase = 2.0 * std::numbers::pi * cycles_per_sample(setup) * t;
        const char* gap = k % 8 == 7 || k == length - 1 ? "\n" : " ";
        real << std::lround(w * std::cos(phase)) << gap;
        imag << std::lround(w * std::sin(phase)) << gap;
    }
    std::ostringstream text;
    text << "# Probe definition for the RF demo recording made by kestrane-tool make-demo --rf.\n"
         << "PROBE_NAME " << demo_rf_probe_name << "\n"
         << "PROBE_VECTORS " << setup.vectors << "\n"
         << "PROBE_VECTOR_SCALE " << demo_image_width_cm / static_cast<double>(setup.vectors) << "\n"
         << "PROBE_FILTERS 1\n"
         << "PROBE_CENTRE_FREQ " << setup.centre_mhz << "\n"
         << "PROBE_BANDWIDTH " << setup.sampling_mhz / (2.0 * std::numbers::pi * setup.filter_sigma) << "\n"
         << "PROBE_50M_START_OFFSET 0\n"
         << "PROBE_50M_FILTER_LENGTH " << length << "\n"
         << "PROBE_50M_FILTER_HALF " << half << "\n"
         << "PROBE_50M_REAL_FILTER\n" << real.str()
         << "PROBE_50M_IMAG_FILTER\n" << imag.str();
    return text.str();
}

bool write_demo_rf_recording(const wxString& dir, int frames)
{
    if (frames < 1 || frames > 100000) {
        wxLogError("The RF demo needs 1 to 100000 frames.");
        return false;
    }
    if (!wxFileName::DirExists(dir) && !wxFileName::Mkdir(dir, wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL)) {
        wxLogError("Could not create the folder %s.", dir);
        return false;
    }
    const rf_demo_setup setup;
    const wxString probe_path = wxFileName(dir, demo_probe_file_name).GetFullPath();
    {
        const std::string text = demo_probe_text(setup);
        wxFile file;
        if (!file.Create(probe_path, true) || !file.Write(text.data(), text.size()) || !file.Close()) {
            wxLogError("Could not write %s.", probe_path);
            return false;
        }
    }
    const demo_scene scene = make_rf_demo_scene(frames, setup);
    recording_io->new_recording();
    const probe_setup& probe = scene.probe;
    res->RES_BUF_RF->write(true);
    res->RES_RF_VECTORS->write(setup.vectors);
    res->RES_RF_SAMPLES->write(setup.samples);
    res->RES_FRAME_SIZE->write(setup.vectors * setup.samples);
    res->RES_RF_PROBE_NAME->write(demo_rf_probe_name);
    res->RES_RF_FREQ->write(0);
    res->RES_RF_FILTER->write(1);
    res->RES_RF_DISPLAY->write(1);
    res->RES_RF_PERSIST->write(0);  // the sweep's frames are millimetres apart: blending would smear them
    res->RES_RF_SCALE->write(probe.sy);
    res->RES_POS_REC->write(true);
    use_demo_probe(probe);
    res->RES_CAL_DATE->write("1 March 2024 (exact, synthetic)");
    res->RES_CAL_PROBE->write(demo_rf_probe_name);
    res->RES_CAL_DEPTH->write(probe.sy * static_cast<double>(probe.height));
    res->RES_COMMENT->write(std::make_shared<std::vector<wxString>>(std::vector<wxString>{
        "Synthetic RF sweep over the demo ellipsoid and vessel, made by kestrane-tool make-demo --rf.",
        wxString::Format("%g MHz echoes sampled at %g MHz; shown through %s.", setup.centre_mhz, setup.sampling_mhz,
                         demo_probe_file_name)}));
    for (std::size_t i = 0; i < scene.trajectory.size(); ++i) {
        const cip_t frame = render_rf_frame(scene, i, setup);
        if (frame.empty()) {
            wxLogError("Error: unable to allocate space for image data");
            return false;
        }
        bufp->append(frame, scene.trajectory[i].pose, scene.trajectory[i].time);
    }
    recording_io->frames_changed();
    if (!recording_io->save_as(wxFileName(dir, demo_rf_recording_name).GetFullPath()))
        return false;
    // Now that the probe file lies beside the recording, the frames held can be shown through it.
    for (long i = 0; i < bufp->frames(); ++i)
        recording_io->rf_display(bufp->imagecp(i), i);
    return true;
}
