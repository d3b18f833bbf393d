// libFuzzer harness: any bytes given to the .zsq reader or the Zaber reply
// decoder must neither crash nor hang. A sequence the reader accepts must
// walk without the runner's "Error" marker (the loader's checks and the
// runner's loops agree), and its step count is never negative.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <wx/init.h>
#include <wx/log.h>

#include "devices/cmd_sequence.h"
#include "devices/zaber_protocol.h"

namespace {

struct fuzz_env_t {
    wxInitializer wx;
    fuzz_env_t() { wxLog::EnableLogging(false); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz_env_t env;
    if (size < 1)
        return 0;
    const std::span<const unsigned char> body(data + 1, size - 1);
    if (data[0] % 4 == 0) {
        // Replies: every six-byte record decodes, a short one never does.
        for (std::size_t at = 0; at < body.size(); at += zaber::message_length) {
            const auto record = body.subspan(at, std::min(zaber::message_length, body.size() - at));
            const auto reply = zaber::decode(record);
            if (reply.has_value() != (record.size() == zaber::message_length))
                std::abort();
            if (reply && (reply->device != record[0] || reply->command != record[1]))
                std::abort();
        }
        return 0;
    }
    cmdSequence sequence;
    std::vector<zsq_error_t> errors;
    const bool loaded =
        sequence.load(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()), &errors);
    if (loaded != errors.empty() || sequence.steps() < 0)
        std::abort();
    // A bounded walk: counts reach billions, and only the first commands matter here.
    for (int i = 0; loaded && i < 10000; ++i) {
        const cmdItem c = sequence.getNextCmd();
        if (c.kind == cmd_kind_t::error)
            std::abort();
        if (c.kind == cmd_kind_t::end_of_sequence)
            break;
    }
    return 0;
}
