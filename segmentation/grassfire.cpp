// The two entry points of the threshold segmentation: one frame, and a
// stack of frames with progress, cancelling and a fallback to one frame
// when the stack's state would not fit in memory.
#include "grassfire.h"

#include <unistd.h>

#include <wx/log.h>

#include "common/interaction.h"
#include "grassfire_state.h"

grassfire_classes classes_from_colour_map(const float_cmap_t& map)
{
    grassfire_classes c;
    for (std::size_t i = 0; i < 256; ++i) {
        const float r = map.red[i], g = map.green[i], b = map.blue[i];
        if (r == 1.0f && g == 0.0f && b == 1.0f)
            c.bits[i] = grassfire_classes::selected;
        else if (r == 0.5f && g == 0.0f && b == 0.5f)
            c.bits[i] = grassfire_classes::barrier;
    }
    return c;
}

bool grassfire::thresholded(const image_view& image, std::size_t i, const grassfire_classes& classes)
{
    if (image.empty() || i >= static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height))
        return false;
    return classes.thresholded(image.pixels[i]);
}

bool grassfire::anti_thresholded(const image_view& image, std::size_t i, const grassfire_classes& classes)
{
    if (image.empty() || i >= static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height))
        return false;
    return classes.anti_thresholded(image.pixels[i]);
}

namespace {

// The seed, if one is given and it is usable: inside the image and
// selected. `usable` is false when the click must give nothing.
struct seed_check {
    std::optional<grassfire_voxel> seed;
    bool usable = false;
};

seed_check check_seed(const image_view& image, long x, long y, long z, bool connected, const grassfire_classes& classes)
{
    seed_check c;
    if (x >= grassfire::no_seed) {
        c.usable = !connected;  // connected regions need a seed to start from
        return c;
    }
    if (x < 0 || y < 0 || x >= image.width || y >= image.height)
        return c;
    const std::size_t i =
        static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) + static_cast<std::size_t>(x);
    if (!classes.thresholded(image.pixels[i]))
        return c;
    c.seed = grassfire_voxel{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), static_cast<std::int32_t>(z)};
    c.usable = true;
    return c;
}

// A quarter of the physical memory: Linux seldom refuses an allocation, and
// a stack that pushes the machine into swap or the OOM killer would lose
// the user's unsaved work.
std::uint64_t default_state_limit()
{
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page <= 0)
        return std::uint64_t{1} << 30;
    return static_cast<std::uint64_t>(pages) / 4 * static_cast<std::uint64_t>(page);
}

std::uint64_t state_limit(const grassfire_settings& settings)
{
    return settings.state_limit ? settings.state_limit : default_state_limit();
}

// The progress dialog of a 3D run, ended however the run ends. Each update
// says whether to go on.
class progress_t {
public:
    static constexpr int range = 1000;

    explicit progress_t(const wxString& first) { interaction().progress_begin("3D segmentation", first, range); }
    ~progress_t() { interaction().progress_end(); }
    progress_t(const progress_t&) = delete;
    progress_t& operator=(const progress_t&) = delete;

    bool at(int value, const wxString& message)
    {
        last_ = value;
        return interaction().progress_update(value, message);
    }
    // Item i of n within a stage from `from` to `to`: shown when the bar
    // moves, so that long stacks do not flood the dialog.
    template <typename Message>
    bool within(int from, int to, long i, long n, const Message& message)
    {
        const double f = n > 0 ? static_cast<double>(i) / static_cast<double>(n) : 0.0;
        const int value = from + static_cast<int>(f * (to - from));
        return value == last_ || at(value, message());
    }

private:
    int last_ = -1;
};

wxString frame_text(const char* what, long z, long n)
{
    return wxString::Format("%s: frame %lli of %lli", what, static_cast<long long>(z + 1), static_cast<long long>(n));
}

}  // namespace

contour_set grassfire::segment(const image_view& image, long seed_x, long seed_y, long jump,
                               const grassfire_settings& settings, const grassfire_classes& classes)
{
    jump_thresh = jump;
    contour_set result;
    if (image.empty())
        return result;
    const seed_check seed = check_seed(image, seed_x, seed_y, 0, settings.connected, classes);
    if (!seed.usable)
        return result;
    const auto bytes = grassfire_state::bytes_needed(image.width, image.height, 1);
    auto state = bytes && *bytes <= state_limit(settings)
                     ? grassfire_state::create({image}, image.width, image.height, jump, settings, classes)
                     : nullptr;
    if (!state) {
        wxLogWarning("Unable to allocate state image for grassfire algorithm");
        return result;
    }
    const bool at_once = !settings.connected && jump < 1;
    const grassfire_box selected = state->threshold(0, at_once);
    if (at_once)
        state->region = selected;
    else
        burn_region(*state, seed.seed, settings.connected, {});
    fill_in_holes(*state);
    discover_contours(*state, 0, result);
    return result;
}

std::optional<std::vector<contour_set>> grassfire::segment3(const std::vector<image_view>& stack, long seed_x,
                                                            long seed_y, long seed_frame, long jump,
                                                            const grassfire_settings& settings,
                                                            const grassfire_classes& classes)
{
    const long n = static_cast<long>(stack.size());
    std::vector<contour_set> sets(stack.size());
    for (long z = 0; z < n; ++z)
        sets[static_cast<std::size_t>(z)].frame = static_cast<std::int32_t>(z);
    if (seed_frame < 0 || seed_frame >= n)
        return sets;
    const image_view& clicked = stack[static_cast<std::size_t>(seed_frame)];
    if (clicked.empty())
        return sets;
    const seed_check seed = check_seed(clicked, seed_x, seed_y, seed_frame, settings.connected, classes);
    if (!seed.usable)
        return sets;

    auto one_frame = [&]() {
        interaction().inform("3D segmentation",
                             "Unable to allocate enough memory for 3D segmentation.\n - switching to 2D segmentation "
                             "instead.\n\nYou could try increasing the frame gap.");
        contour_set& s = sets[static_cast<std::size_t>(seed_frame)];
        s = segment(clicked, seed_x, seed_y, jump, settings, classes);
        s.frame = static_cast<std::int32_t>(seed_frame);
        return sets;
    };
    const auto bytes = grassfire_state::bytes_needed(clicked.width, clicked.height, n);
    if (!bytes || *bytes > state_limit(settings))
        return one_frame();

    std::optional<progress_t> progress;
    progress.emplace("Initialising object state");
    if (!progress->at(0, "Initialising object state"))
        return std::nullopt;
    const auto state = grassfire_state::create(stack, clicked.width, clicked.height, jump, settings, classes);
    if (!state) {
        progress.reset();
        return one_frame();
    }

    const bool at_once = !settings.connected && jump < 1;
    grassfire_box selected;
    for (long z = 0; z < n; ++z) {
        if (!progress->within(1, 150, z, n, [] { return wxString("Thresholding data"); }))
            return std::nullopt;
        selected.add(state->threshold(z, at_once));
    }
    if (!progress->at(150, "Find extent of object"))
        return std::nullopt;
    const wxString burning =
        settings.connected ? "Connected component analysis" : "Performing connected component analysis on all data";
    if (!progress->at(160, burning))
        return std::nullopt;
    if (at_once) {
        state->region = selected;
    } else {
        int shown = 160;
        // The burnt volume is not known ahead: the bar creeps towards the next stage.
        if (!burn_region(*state, seed.seed, settings.connected,
                         [&] { return progress->at(shown = std::min(shown + 1, 449), burning); }))
            return std::nullopt;
    }
    if (settings.ridges) {
        if (!progress->at(450, "Removing redundant ridges"))
            return std::nullopt;
        remove_ridges3(*state);
        get_extents3(*state);
    }
    if (!progress->at(500, "Topological analysis"))
        return std::nullopt;
    relabel_cracks(*state);
    for (long z = 0; z < n; ++z) {
        if (!progress->within(600, 800, z, n, [&] { return frame_text("2D segmentation", z, n); }))
            return std::nullopt;
        fill_in_holes_frame(*state, z);
    }
    for (long z = 0; z < n; ++z) {
        if (!progress->within(800, 1000, z, n, [&] { return frame_text("Extracting contours", z, n); }))
            return std::nullopt;
        discover_contours(*state, z, sets[static_cast<std::size_t>(z)]);
    }
    jump_thresh = jump;
    const grassfire_box& r = state->region;
    xmin = r.x0;
    xmax = r.x1;
    ymin = r.y0;
    ymax = r.y1;
    fmin = r.z0;
    fmax = r.z1;
    return sets;
}
