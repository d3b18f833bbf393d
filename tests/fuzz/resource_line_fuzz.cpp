// libFuzzer harness: any line, in any encoding, given to the resource line
// parser must neither crash nor leave a value half-written.
#include <cstdint>
#include <memory>

#include <wx/init.h>
#include <wx/log.h>

#include "resources/resource_table.h"

namespace {
struct fuzz_env_t {
    wxInitializer wx;
    std::unique_ptr<resource_t> table;
    fuzz_env_t()
    {
        wxLog::EnableLogging(false);
        table = std::make_unique<resource_t>();
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz_env_t env;
    if (size == 0)
        return 0;
    // The first byte picks the mask and whether the line comes from a script.
    const unsigned long masks[] = {1, 2, 4, 8, 3, 12, RES_MASK_ALL};
    const unsigned long mask = masks[data[0] % 7];
    env.table->RES_IN_SCRIPT->write(data[0] & 0x80);
    const char* text = reinterpret_cast<const char*>(data + 1);
    wxString line = wxString::FromUTF8(text, size - 1);
    if (line.empty() && size > 1)
        line = wxString(text, wxConvISO8859_1, size - 1);
    base_res_t::parse_no_changeprocs(line, mask);
    if (data[0] & 0x40)
        base_res_t::cancel_all_pending_changes();
    else
        base_res_t::make_pending_writes_happen();
    return 0;
}
