// libFuzzer harness: a template made of arbitrary bytes must be refused or
// read cleanly, never crash, overflow or read out of bounds.
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include <wx/filename.h>
#include <wx/init.h>
#include <wx/log.h>

#include "resources/core_session.h"
#include "resources/recording_file.h"

namespace {
struct fuzz_env_t {
    wxInitializer wx;
    std::unique_ptr<core_session_t> session;
    std::string dir;
    fuzz_env_t()
    {
        wxLog::EnableLogging(false);
        dir = wxFileName::CreateTempFileName("ks_fuzz").ToStdString();
        wxRemoveFile(dir);
        wxFileName::Mkdir(dir);
        session = std::make_unique<core_session_t>(dir, "", false);
        session->finish_start_up();
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz_env_t env;
    std::ofstream(env.dir + "/f.kst", std::ios::binary) << std::string(reinterpret_cast<const char*>(data), size);
    recording_io->try_read_template_file(env.dir + "/f.kst");
    recording_io->new_recording();
    return 0;
}
