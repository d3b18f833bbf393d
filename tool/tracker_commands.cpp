#include "tracker_commands.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "acquisition/posinfo.h"
#include "common/interaction.h"
#include "resources/value_text.h"
#include "tool_session.h"

namespace {

constexpr const char* detect_words[] = {"AUTO",  "FASTRAK", "PATRIOT",   "FLOCK", "MINI",
                                        "LASER", "POLARIS", "OPTITRACK", "STAR"};

int usage()
{
    std::fprintf(stderr,
                 "Usage: kestrane-tool track PORT [--detect KIND] [--speed BPS] [--count N] [--tool T] [--pointer P]\n"
                 "  KIND: AUTO FASTRAK PATRIOT FLOCK MINI LASER POLARIS OPTITRACK STAR\n");
    return 2;
}

bool parse_detect(const wxString& word, pos_detect_t* out)
{
    for (int k = 0; k < static_cast<int>(std::size(detect_words)); ++k)
        if (word.Upper() == detect_words[k]) {
            *out = static_cast<pos_detect_t>(k);
            return true;
        }
    return false;
}

bool parse_count(const wxString& text, long low, long high, long* out)
{
    std::int64_t v;
    if (!value_text::parse_long(text, &v) || v < low || v > high)
        return false;
    *out = static_cast<long>(v);
    return true;
}

const char* state_word(pos_state_t s)
{
    switch (s) {
    case POS_VALID: return "valid";
    case POS_PARTLY_OUT: return "partly-out";
    case POS_WARNED: return "warned";
    default: return "missing";
    }
}

// Prints each sample as it is published.
class sample_printer_t {
public:
    explicit sample_printer_t(genflag_res_t<std::shared_ptr<pos_stat_t>>* event, const char* label)
        : event_(event), label_(label), proc_(this, &sample_printer_t::print)
    {
        event_->read(&proc_);
    }
    ~sample_printer_t() { event_->remove_worry(&proc_); }
    long printed() const { return printed_; }

private:
    void print()
    {
        const auto& s = event_->value();
        if (!s)
            return;
        std::printf("%s %.4f %s", label_, static_cast<double>(s->time) / 1e7, state_word(s->state));
        if (s->state != POS_MISSING && s->pose)
            for (int i = 0; i < 6; ++i)
                std::printf(" %.3f", s->pose[static_cast<std::size_t>(i)]);
        std::printf("\n");
        std::fflush(stdout);
        ++printed_;
    }

    genflag_res_t<std::shared_ptr<pos_stat_t>>* event_;
    const char* label_;
    pmf_functor<sample_printer_t> proc_;
    long printed_ = 0;
};

}  // namespace

int run_track(const std::vector<wxString>& args)
{
    if (args.empty() || args[0].StartsWith("--"))
        return usage();
    pos_detect_t detect = POS_DETECT_AUTO;
    long speed = 38400, count = 10, tool = 0, pointer = 0;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const bool has_value = i + 1 < args.size();
        const wxString& a = args[i];
        bool ok = has_value;
        if (ok && a == "--detect")
            ok = parse_detect(args[++i], &detect);
        else if (ok && a == "--speed")
            ok = parse_count(args[++i], 1, 10000000, &speed);
        else if (ok && a == "--count")
            ok = parse_count(args[++i], 1, 100000000, &count);
        else if (ok && a == "--tool")
            ok = parse_count(args[++i], 0, 16, &tool);
        else if (ok && a == "--pointer")
            ok = parse_count(args[++i], 0, 16, &pointer);
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "kestrane-tool track: bad argument '%s'.\n", a.utf8_str().data());
            return usage();
        }
    }

    tool_session_t tool_session;
    res->RES_SERIAL_PORT->write(args[0]);
    res->RES_SERIAL_SPEED->write(speed);
    res->RES_POS_DETECT->write(detect);
    res->RES_POLARIS_PORT->write(static_cast<polaris_port_t>(tool));
    res->RES_POLARIS_POINTER->write(static_cast<polaris_port_t>(pointer));

    posinfo tracker(interaction());
    std::printf("%s\n", res->RES_ALERT_STRING->value().utf8_str().data());
    if (tracker.sensor() == SENSOR_NONE)
        return 1;

    sample_printer_t probe(res->RES_POSITION_CAPTURE_EVENT, "probe");
    std::unique_ptr<sample_printer_t> pointer_printer;
    if (pointer != 0)
        pointer_printer = std::make_unique<sample_printer_t>(res->RES_POINTER_CAPTURE_EVENT, "pointer");

    // Without a window there is no idle event: tick it here instead.
    using clock = std::chrono::steady_clock;
    auto last_sample = clock::now();
    long seen = 0;
    wxString last_alert = res->RES_ALERT_STRING->value();
    while (probe.printed() < count) {
        res->RES_IDLE_EVENT->write();
        if (res->RES_ALERT_STRING->value() != last_alert) {
            last_alert = res->RES_ALERT_STRING->value();
            std::fprintf(stderr, "%s\n", last_alert.utf8_str().data());
        }
        if (probe.printed() != seen) {
            seen = probe.printed();
            last_sample = clock::now();
        } else if (clock::now() - last_sample > std::chrono::seconds(10)) {
            std::fprintf(stderr, "kestrane-tool track: no pose for 10 s.\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return 0;
}
