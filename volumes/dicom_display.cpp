#include "dicom_display.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/dynabuf.h"
#include "common/parallel_items.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "volumes/dicom_loader.h"

dicom_display_service_t* dicom_display = nullptr;

window_table_t::window_table_t(const dicom_window_t& w)
{
    const window_terms_t t = window_terms(w);
    for (std::size_t v = 0; v < levels_.size(); ++v)
        levels_[v] = windowed(std::uint16_t(v), t, std::nullopt);
}

void write_dicom_window(double centre, double width)
{
    res->RES_DICOM_WIN_CENTRE->write_no_changeprocs(centre);
    res->RES_DICOM_WIN_WIDTH->write_no_changeprocs(width);
    base_res_t::make_pending_writes_happen();
}

dicom_window_t dicom_window_from_resources(const std::optional<std::uint16_t>& padding, bool pending)
{
    auto get = [pending](double_res_t* r) { return pending ? r->pending() : r->value(); };
    return dicom_window_t{get(res->RES_DICOM_WIN_CENTRE), get(res->RES_DICOM_WIN_WIDTH), get(res->RES_DICOM_HUM),
                          get(res->RES_DICOM_HUB), padding};
}

void filter_dicom(std::span<const std::uint16_t> in, std::span<std::uint16_t> out, long width, long height, long size,
                  const std::optional<std::uint16_t>& padding)
{
    const std::size_t w = std::size_t(width), h = std::size_t(height), n = w * h;
    if (in.size() < n || out.size() < n || n == 0)
        return;
    const long r = std::max(0L, size);
    auto kept = [&](std::uint16_t v) { return !(padding && v == *padding); };
    // Separable running sums of the values and of how many of them count.
    std::vector<std::uint32_t> row_sum(n), row_count(n);
    for (std::size_t y = 0; y < h; ++y) {
        const std::uint16_t* line = in.data() + y * w;
        std::uint32_t sum = 0, count = 0;
        auto counts = [&](long x) { return x >= 0 && x < width && kept(line[x]); };
        for (long x = 0; x < r; ++x)
            if (counts(x)) {
                sum += line[x];
                ++count;
            }
        for (long x = 0; x < width; ++x) {
            if (counts(x + r)) {
                sum += line[x + r];
                ++count;
            }
            if (counts(x - r - 1)) {
                sum -= line[x - r - 1];
                --count;
            }
            row_sum[y * w + std::size_t(x)] = sum;
            row_count[y * w + std::size_t(x)] = count;
        }
    }
    for (std::size_t x = 0; x < w; ++x) {
        std::uint64_t sum = 0, count = 0;
        auto at = [&](long y) { return std::size_t(y) * w + x; };
        for (long y = 0; y < r && y < height; ++y) {
            sum += row_sum[at(y)];
            count += row_count[at(y)];
        }
        for (long y = 0; y < height; ++y) {
            if (y + r < height) {
                sum += row_sum[at(y + r)];
                count += row_count[at(y + r)];
            }
            if (y - r - 1 >= 0) {
                sum -= row_sum[at(y - r - 1)];
                count -= row_count[at(y - r - 1)];
            }
            const std::size_t i = at(y);
            out[i] = !kept(in[i]) || count == 0 ? in[i] : std::uint16_t((sum + count / 2) / count);
        }
    }
}

void window_frame(const cip_t& frame, const window_table_t& table, const std::optional<std::uint16_t>& padding,
                  long filter)
{
    if (!frame.has_samples())
        return;
    const std::size_t n = frame.pixel_count();
    const std::uint16_t* values = frame.samples();
    std::uint8_t* pixels = frame.pixels();
    std::vector<std::uint16_t> smoothed;
    const std::uint16_t* shown = values;
    if (filter > 0) {
        smoothed.resize(n);
        filter_dicom({values, n}, smoothed, frame.width(), frame.height(), filter, padding);
        shown = smoothed.data();
    }
    if (padding) {
        const std::uint16_t pad = *padding;
        for (std::size_t i = 0; i < n; ++i)
            pixels[i] = values[i] == pad ? 1 : table[shown[i]];
    } else {
        for (std::size_t i = 0; i < n; ++i)
            pixels[i] = table[shown[i]];
    }
}

window_preset_t dragged_window(const window_preset_t& start, int dx, int dy)
{
    const double width = std::isfinite(start.width) && start.width >= 1.0 ? start.width : 1.0;
    return {start.centre + dy * width / 256.0, std::max(1.0, width * std::exp(dx / 128.0))};
}

void window_frames(const std::vector<cip_t>& frames, const window_table_t& table,
                   const std::optional<std::uint16_t>& padding, long filter)
{
    // Each frame is its own: how they are shared cannot change the result.
    run_items(frames.size(), std::min(2, parallel_workers(0)), [&](int, std::size_t f) {
        window_frame(frames[f], table, padding, filter);
        return true;
    });
}

dicom_display_service_t::dicom_display_service_t()
    : changed_(
          std::make_unique<pmf_functor<dicom_display_service_t>>(this, &dicom_display_service_t::DicomWindowChanged))
{
    for (base_res_t* r :
         std::initializer_list<base_res_t*>{res->RES_DICOM_WIN_CENTRE, res->RES_DICOM_WIN_WIDTH, res->RES_DICOM_HUM,
                                            res->RES_DICOM_HUB, res->RES_DICOM_FILTER, res->RES_DICOM_REDRAW})
        r->add_proc(changed_.get());
    recording_io->set_dicom_reader([this](const wxString& folder, const std::vector<long>& sources, long width,
                                          long height, const std::vector<counted_array_ptr<float>>& poses,
                                          std::vector<cip_t>* frames, std::pair<double, double>* rescale,
                                          wxString* why) {
        dicom_data_set_t data_set;
        if (!reread_dicom_frames(folder, sources, width, height, poses, frames, &data_set, rescale, why))
            return false;
        // Shown through the window the file sets, which is not in force until the read ends.
        data_set_ = data_set;
        const auto& padding = data_set_.padding;
        window_frames(*frames, window_table_t(dicom_window_from_resources(padding, true)), padding,
                      res->RES_DICOM_FILTER->pending());
        return true;
    });
    dicom_display = this;
}

dicom_display_service_t::~dicom_display_service_t()
{
    if (dicom_display == this)
        dicom_display = nullptr;
    if (recording_io)
        recording_io->set_dicom_reader({});
}

void dicom_display_service_t::DicomWindowChanged()
{
    if (!res->RES_BUF_DICOM->value())
        return;
    if (!dragging_) {
        window_all();
        return;
    }
    // Only the frame on screen while the window is dragged: the drag stays smooth on large volumes.
    const window_table_t table(dicom_window_from_resources(data_set_.padding));
    window_frame(bufp->imagecp(res->RES_BUF_CURRENT_FRAME->value()), table, data_set_.padding,
                 res->RES_DICOM_FILTER->value());
    ++frames_windowed_;
    stale_ = true;
}

void dicom_display_service_t::end_drag()
{
    dragging_ = false;
    if (stale_ && res->RES_BUF_DICOM->value())
        window_all();
    stale_ = false;
}

void dicom_display_service_t::window_all()
{
    std::vector<cip_t> frames;
    for (long f = 0; f < bufp->frames(); ++f)
        frames.push_back(bufp->imagecp(f));
    window_frames(frames, window_table_t(dicom_window_from_resources(data_set_.padding)), data_set_.padding,
                  res->RES_DICOM_FILTER->value());
    frames_windowed_ += bufp->frames();
}
