// libFuzzer harness: any bytes given to the pose-record decoders of every
// tracker must neither crash nor read outside the record, and whatever they
// accept must be a finite pose.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <wx/init.h>
#include <wx/log.h>

#include "acquisition/polaris_protocol.h"
#include "acquisition/tracker_records.h"

namespace {

struct fuzz_env_t {
    wxInitializer wx;
    fuzz_env_t() { wxLog::EnableLogging(false); }
};

void check_finite(const float (&pose)[6])
{
    for (const float v : pose)
        if (!std::isfinite(v))
            std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz_env_t env;
    if (size < 2)
        return 0;
    // The first byte picks the decoder and its settings; the rest is the reply.
    const unsigned choice = data[0];
    const record_view record(data + 1, size - 1);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    float pose[6];
    switch (choice % 6) {
    case 0:
        if (decode_fastrak_record(record, pose))
            check_finite(pose);
        break;
    case 1:
        if (decode_liberty_record(record, pose))
            check_finite(pose);
        break;
    case 2: {
        const std::size_t expected = choice & 0x80 ? 12 : 13 * ((choice >> 3) % 10 + 1);
        if (ascension_record_ok(record, expected))
            for (std::size_t bird = 0; bird < 11; ++bird)
                if (decode_ascension_bird(record, bird, 72.0f, pose))
                    check_finite(pose);
        break;
    }
    case 3: {
        std::string_view body;
        polaris_check_reply(record, &body);
        parse_polaris_volumes(text);
        polaris_error_message(text, "TX");
        break;
    }
    case 4: {
        const std::array<int, 3> handles = {static_cast<int>(choice >> 3) % 4 + 1, -1, static_cast<int>(choice >> 5)};
        const polaris_frame_t f = decode_polaris_tx(text, handles);
        for (const polaris_entry_t& e : f.entries)
            if (e.pose_ok)
                check_finite(e.pose);
        break;
    }
    default: {
        const std::array<int, 3> ports = {static_cast<int>(choice >> 3) % 6, static_cast<int>(choice >> 6) - 1, 3};
        const polaris_frame_t f = decode_polaris_gx(text, choice & 0x40 ? 0x8001 : 0x0001, ports);
        for (const polaris_entry_t& e : f.entries)
            if (e.pose_ok)
                check_finite(e.pose);
        break;
    }
    }
    return 0;
}
