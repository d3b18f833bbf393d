#include "igtl_receiver.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "igtl_client.h"

namespace {

constexpr int read_wait_ms = 200;  // how often the reader looks whether it should stop
constexpr auto retry_gap = std::chrono::milliseconds(500);
constexpr auto stop_wait = std::chrono::seconds(2);
constexpr int offset_learning = 50;               // messages over which the clock offset is learnt,
constexpr std::int64_t learning_time = 10000000;  // or 1 s of them, whichever is first
constexpr std::int64_t clock_jump = 20000000;     // 2 s: the server's clock was set anew
// After a reconnection: farther than this from the learnt offset, another clock answers.
constexpr std::int64_t other_clock = 2500000;  // 0.25 s

}  // namespace

struct igtl_receiver_t::state_t {
    wxString host;
    int port = 0;
    clock_t clock;

    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false, finished = false;
    bool images_wanted = false;
    std::string pose_device;
    std::deque<frame_t> frames;
    std::deque<pose_t> poses;
    status_t status;

    // Reader thread only.
    std::int64_t offset = 0;
    int offset_samples = 0;
    std::uint64_t learning_began = 0;  // arrival of the first message learnt from
    bool reconnected = false;

    // The stamp moved onto this program's clock, in *time; false while the
    // offset is still being learnt. The smallest gap over the first messages
    // is the transfer time plus the clocks' difference. Nothing is passed on
    // until it is learnt, and it stays put after: an offset still moving would
    // give a frame and the pose sent with it different times. A message
    // without a stamp is taken at its arrival, and a jump of the server's
    // clock starts the learning again. A reconnection keeps what was learnt
    // while the server's clock still agrees with it: learning afresh would
    // move every later frame of a recording against the earlier ones.
    bool local_time(std::uint64_t stamp, std::uint64_t arrival, std::uint64_t* time)
    {
        if (stamp == 0) {
            *time = arrival;
            return true;
        }
        const auto gap = static_cast<std::int64_t>(arrival - stamp);
        const std::int64_t tolerance = reconnected ? other_clock : clock_jump;
        reconnected = false;
        if (offset_samples > 0 && std::llabs(gap - offset) > tolerance)
            offset_samples = 0;
        if (offset_samples < offset_learning) {
            if (offset_samples == 0) {
                offset = gap;
                learning_began = arrival;
            }
            offset = std::min(offset, gap);
            ++offset_samples;
            if (static_cast<std::int64_t>(arrival - learning_began) >= learning_time)
                offset_samples = offset_learning;
        }
        *time = stamp + static_cast<std::uint64_t>(offset);
        return offset_samples >= offset_learning;
    }
};

bool parse_igtl_address(const wxString& text, wxString* host, int* port)
{
    const wxString t = wxString(text).Trim(true).Trim(false);
    long p = 0;
    if (!t.Contains(":") || !t.AfterLast(':').ToLong(&p) || p < 1 || p > 65535)
        return false;
    const wxString h = t.BeforeLast(':');
    if (h.empty() || h.Contains(" "))
        return false;
    *host = h;
    *port = static_cast<int>(p);
    return true;
}

std::shared_ptr<igtl_receiver_t> igtl_receiver_t::shared(const wxString& host, int port, clock_t clock)
{
    static std::mutex table_mutex;
    static std::map<std::string, std::weak_ptr<igtl_receiver_t>> table;
    const std::string key = wxString::Format("%s:%d", host, port).ToStdString();
    std::lock_guard<std::mutex> lock(table_mutex);
    if (auto held = table[key].lock())
        return held;
    auto made = std::make_shared<igtl_receiver_t>(host, port, std::move(clock));
    table[key] = made;
    return made;
}

igtl_receiver_t::igtl_receiver_t(const wxString& host, int port, clock_t clock)
    : host_(host), port_(port), state_(std::make_shared<state_t>())
{
    state_->host = host;
    state_->port = port;
    state_->clock = std::move(clock);
    std::thread([state = state_] { run(state); }).detach();
}

igtl_receiver_t::~igtl_receiver_t()
{
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->stopping = true;
    state_->wake.notify_all();
    // Within a read or a quick refusal the reader ends at once; a connection
    // attempt that hangs finishes on its own, with nobody left to serve.
    state_->wake.wait_for(lock, stop_wait, [this] { return state_->finished; });
}

void igtl_receiver_t::want_images(bool wanted)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->images_wanted = wanted;
    if (!wanted)
        state_->frames.clear();
}

void igtl_receiver_t::want_poses(const std::string& device)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->pose_device = device;
    state_->poses.clear();
}

std::vector<igtl_receiver_t::frame_t> igtl_receiver_t::take_frames()
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    std::vector<frame_t> out(std::make_move_iterator(state_->frames.begin()),
                             std::make_move_iterator(state_->frames.end()));
    state_->frames.clear();
    return out;
}

std::vector<igtl_receiver_t::pose_t> igtl_receiver_t::take_poses()
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    std::vector<pose_t> out(state_->poses.begin(), state_->poses.end());
    state_->poses.clear();
    return out;
}

igtl_receiver_t::status_t igtl_receiver_t::status() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->status;
}

void igtl_receiver_t::run(const std::shared_ptr<state_t>& state)
{
    state_t& s = *state;
    igtl_client_t client;
    bool connected = false;
    const auto stopping = [&s] {
        std::lock_guard<std::mutex> lock(s.mutex);
        return s.stopping;
    };
    while (!stopping()) {
        if (!connected) {
            connected = client.connect(s.host, s.port, 0, true);  // one attempt: the loop tries again
            std::unique_lock<std::mutex> lock(s.mutex);
            ++s.status.attempts;
            s.status.connected = connected;
            if (connected) {
                s.status.problem.clear();
                s.reconnected = true;  // another server may answer there now
            } else {
                s.status.problem = wxString::Format("no server answers at %s:%d", s.host, s.port);
                s.wake.wait_for(lock, retry_gap, [&s] { return s.stopping; });
            }
            continue;
        }
        igtl_message_t m;
        wxString why;
        const igtl_body_t kind = client.next(&m, read_wait_ms, &why);
        if (kind == igtl_body_t::none || kind == igtl_body_t::other)
            continue;
        if (kind == igtl_body_t::bad) {
            // The stream cannot be trusted past a bad message: start afresh.
            client.close();
            connected = false;
            std::lock_guard<std::mutex> lock(s.mutex);
            s.status.connected = false;
            s.status.problem = why;
            if (why != igtl_closed_text)
                ++s.status.unreadable;
            continue;
        }
        std::uint64_t time = 0;
        const bool learnt = s.local_time(m.header.ticks, s.clock(), &time);
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!learnt) {
            ++s.status.skipped;
        } else if (kind == igtl_body_t::image && s.images_wanted) {
            if (s.frames.size() >= frame_limit) {
                s.frames.pop_front();
                ++s.status.frames_lost;
            }
            s.frames.push_back({std::move(m.image), time});
            ++s.status.frames;
        } else if (kind == igtl_body_t::transform && !s.pose_device.empty() && m.header.device == s.pose_device) {
            if (s.poses.size() >= pose_limit) {
                s.poses.pop_front();
                ++s.status.poses_lost;
            }
            s.poses.push_back({m.transform, time});
            ++s.status.poses;
        }
    }
    client.close();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.finished = true;
    s.wake.notify_all();
}
