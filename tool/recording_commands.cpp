// kestrane-tool commands on recordings: inspect one, export frames from one.
#include <cstdio>

#include <wx/filename.h>

#include "dicom_info.h"
#include "volumes/qct_file.h"
#include "volumes/volume_files.h"
#include "output_names.h"
#include "recording_commands.h"
#include "resources/core_session.h"
#include "tool_session.h"
#include "demo/correction_demo.h"
#include "demo/demo_recording.h"
#include "demo/rf_demo.h"
#include "resources/frame_export.h"
#include "resources/recording_file.h"

namespace {


void print(const wxString& text)
{
    std::fputs(text.utf8_str().data(), stdout);
}

wxString seconds(std::uint64_t ticks)
{
    return wxString::Format("%.3f s", static_cast<double>(ticks) / 1e7);
}

// How the RF frames are shown: through which probe file and filters, or why unfiltered.
wxString rf_display_text(rf_display_service_t& service)
{
    const long display = static_cast<long>(res->RES_RF_DISPLAY->value());
    const wxString kind = display == rf_utility::display_phase ? "phase" : "envelope";
    const probe_t* probe = service.recording_probe();
    if (!probe)
        return res->RES_RF_PROBE_NAME->value().empty()
                   ? wxString("unfiltered magnitude: the recording names no probe")
                   : wxString::Format("unfiltered magnitude: no usable probe file for '%s'", res->RES_RF_PROBE_NAME->value());
    const auto rate = rf_display_service_t::rate_in_use(*probe, static_cast<long>(res->RES_RF_FREQ->value()));
    return wxString::Format("%s, probe '%s' (%s), %s filters, band %ld, %ld dB from %ld dB", kind, probe->name,
                            wxFileName(probe->file).GetFullName(), rate ? sampling_rate_name(*rate) : "no",
                            static_cast<long>(res->RES_RF_FILTER->value()), static_cast<long>(res->RES_RF_LOG_MULT->value()),
                            static_cast<long>(res->RES_RF_LOG_OFFSET->value()));
}

}  // namespace

int run_info(const std::vector<wxString>& args)
{
    if (args.size() != 1) {
        std::fprintf(stderr, "Usage: kestrane-tool info FILE.ks|FILE.dcm|FOLDER|VOLUME\n");
        return 2;
    }
    // Anything but a recording is data to load: a folder, a volume or QCT file, or DICOM.
    if (!wxFileName(args[0]).GetExt().IsSameAs("ks", false)) {
        wxString text;
        const bool ok = wxFileName::DirExists(args[0])                          ? describe_data_folder(args[0], &text)
                        : is_volume_file(args[0]) || looks_like_qct(args[0]) ? describe_volume_file(args[0], &text)
                                                                                : describe_dicom_file(args[0], &text);
        std::fprintf(ok ? stdout : stderr, "%s%s", ok ? "" : "kestrane-tool info: ", text.utf8_str().data());
        if (!ok)
            std::fputc('\n', stderr);
        return ok ? 0 : 1;
    }
    tool_session_t tool;
    if (!recording_io->try_read_kestrane_file(args[0]))
        return 1;
    const long frames = bufp->frames();
    const bool rf = res->RES_BUF_RF->value(), dicom = res->RES_BUF_DICOM->value();
    wxString out;
    out << "file        " << wxFileName(args[0]).GetFullPath() << "\n";
    if (dicom)
        out << "image data  the DICOM files beside it";
    else
        out << "image data  " << res->RES_BIN_IM_FILENAME->value();
    if (recording_io->image_data_surplus() > 0)
        out << wxString::Format(" (warning: %llu bytes more than its frames need; they are ignored)",
                                static_cast<unsigned long long>(recording_io->image_data_surplus()));
    out << "\n";
    out << "frames      " << frames << "\n";
    if (rf)
        out << "data        RF, " << res->RES_RF_VECTORS->value() << " vectors of " << res->RES_RF_SAMPLES->value()
            << " samples\n";
    else
        out << "data        " << (dicom ? "DICOM" : "B-mode") << ", " << res->RES_BUF_WIDTH->value() << " x "
            << res->RES_BUF_HEIGHT->value() << " pixels"
            << (res->RES_BUF_DOPPLER->value() ? ", colour Doppler coded" : "") << "\n";
    if (rf)
        out << "RF display  " << rf_display_text(tool.rf_display) << "\n";
    out << "pixel size  " << wxString::Format("%.4f x %.4f cm", res->RES_XSCALE->value(), res->RES_YSCALE->value())
        << "\n";
    out << "positions   " << (res->RES_POS_REC->value() ? "yes" : "no") << "\n";
    if (frames > 0) {
        const std::uint64_t first = bufp->timestamp(0), last = bufp->timestamp(frames - 1);
        out << "time span   " << seconds(last >= first ? last - first : 0);
        if (frames > 1 && last > first)
            out << wxString::Format(", %.1f frames per second",
                                    static_cast<double>(frames - 1) * 1e7 / static_cast<double>(last - first));
        out << "\n";
    }
    if (res->RES_POS_REC->value() && frames > 0) {
        double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
        for (long i = 0; i < frames; ++i) {
            const auto p = bufp->positioncp(i);
            for (std::size_t k = 0; k < 3 && p.size() >= 3; ++k) {
                lo[k] = std::min(lo[k], static_cast<double>(p[k]));
                hi[k] = std::max(hi[k], static_cast<double>(p[k]));
            }
        }
        out << wxString::Format("probe moved %.2f x %.2f x %.2f cm (x, y, z ranges)\n", hi[0] - lo[0], hi[1] - lo[1],
                                hi[2] - lo[2]);
    }
    if (!res->RES_CAL_DATE->value().empty())
        out << "calibrated  " << res->RES_CAL_DATE->value() << " (" << res->RES_CAL_PROBE->value() << ")\n";
    const object_table& objects = *res->RES_OBJECT->value();
    for (int i = 0; i < object_table::size; ++i)
        if (objects[i].has_outlines()) {
            std::size_t outlines = 0;
            for (const contour_set& s : objects[i].sets)
                outlines += s.contours.size();
            out << wxString::Format("object %-4d %s: %zu outlines on %zu frames\n", i, objects[i].name, outlines,
                                    objects[i].sets.size());
        }
    const auto& marks = res->RES_LANDMARKS->value()->list;
    if (!marks.empty())
        out << "landmarks   " << marks.size() << "\n";
    const auto& sweeps = res->RES_SWEEPS->value()->first_frames;
    if (!sweeps.empty())
        out << "sweeps      " << sweeps.size() << "\n";
    if (res->RES_FRAMES_IN_VOL->value() > 1)
        out << "volumes     " << frames / res->RES_FRAMES_IN_VOL->value() << " of " << res->RES_FRAMES_IN_VOL->value()
            << " frames\n";
    for (const wxString& c : *res->RES_COMMENT->value())
        out << "comment     " << c << "\n";
    print(out);
    return 0;
}

int run_export_frames(const std::vector<wxString>& args)
{
    if (args.size() != 3) {
        std::fprintf(stderr, "Usage: kestrane-tool export-frames FILE.ks RANGE OUTPUT.{ks,png,bmp,jpeg,tiff}\n");
        return 2;
    }
    const wxString output = tool_output_name("export-frames", args[2], recording_or_image_extensions());
    if (output.empty())
        return 2;
    tool_session_t tool;
    if (!recording_io->try_read_kestrane_file(args[0]))
        return 1;
    const std::vector<char> keep = parse_frame_range(args[1], bufp->frames());
    const wxString ext = wxFileName(output).GetExt().Lower();
    const bool ok = ext == "ks" ? export_frames_to_recording(keep, output)
                                : export_frames_to_images(keep, output, image_export_t::png);  // the extension decides
    return ok ? 0 : 1;
}

int run_make_demo(const std::vector<wxString>& args)
{
    if (args.empty()) {
        std::fprintf(stderr,
                     "Usage: kestrane-tool make-demo DIR [--frames N] [--size WIDTHxHEIGHT] [--rf] [--labels] "
                     "[--correction [--jitter MM] [--pressure MM]]\n");
        return 2;
    }
    long frames = 300, width = 640, height = 480;
    bool rf = false, labels = false, correction = false;
    double jitter = 1.0, pressure = 0.0;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const bool has_value = i + 1 < args.size();
        if (args[i] == "--rf") {
            rf = true;
        } else if (args[i] == "--labels") {
            labels = true;
        } else if (args[i] == "--correction") {
            correction = true;
        } else if (args[i] == "--jitter" && has_value && args[i + 1].ToCDouble(&jitter) && jitter >= 0 && jitter <= 10) {
            ++i;
        } else if (args[i] == "--pressure" && has_value && args[i + 1].ToCDouble(&pressure) && pressure >= 0 &&
                   pressure <= 10) {
            ++i;
        } else if (args[i] == "--frames" && has_value && args[i + 1].ToLong(&frames) && frames > 0 && frames <= 100000) {
            ++i;
        } else if (args[i] == "--size" && has_value && args[i + 1].BeforeFirst('x').ToLong(&width) &&
                   args[i + 1].AfterFirst('x').ToLong(&height)) {
            ++i;
        } else {
            std::fprintf(stderr, "kestrane-tool make-demo: bad option '%s'.\n", args[i].utf8_str().data());
            return 2;
        }
    }
    tool_session_t tool;
    if (correction) {
        correction_demo_options o;
        o.frames = static_cast<int>(frames);
        o.width = width;
        o.height = height;
        o.jitter_mm = jitter;
        o.jitter_deg = jitter;
        o.compression_mm = pressure;
        if (!write_correction_demo(args[0], o))
            return 1;
        print(wxFileName(args[0], correction_demo_name).GetFullPath() + "\n");
        return 0;
    }
    if (!write_demo_recording(args[0], static_cast<int>(frames), width, height, labels))
        return 1;
    const wxString recording = wxFileName(args[0], demo_recording_name).GetFullPath();
    if (!recording_io->try_read_kestrane_file(recording) ||
        !recording_io->try_write_template_file(wxFileName(args[0], demo_template_name).GetFullPath()))
        return 1;
    print(recording + "\n");
    if (rf) {
        if (!write_demo_rf_recording(args[0]))
            return 1;
        print(wxFileName(args[0], demo_rf_recording_name).GetFullPath() + "\n");
    }
    return 0;
}
