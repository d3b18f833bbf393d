// libFuzzer harness: a recording and its image data file made of arbitrary
// bytes must be refused or read cleanly, never crash or read out of bounds.
// The input is the .ks text, optionally followed by "\0KVI\0" and the .kvi bytes.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include <wx/filename.h>
#include <wx/init.h>
#include <wx/log.h>

#include "resources/core_session.h"

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
    ~fuzz_env_t()
    {
        session.reset();
        wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE);
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz_env_t env;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string marker("\0KVI\0", 5);
    const auto split = input.find(marker);
    std::ofstream(env.dir + "/f.ks", std::ios::binary) << input.substr(0, split);
    std::ofstream kvi(env.dir + "/f.kvi", std::ios::binary);
    if (split != std::string::npos)
        kvi << input.substr(split + marker.size());
    kvi.close();
    recording_io->try_read_kestrane_file(env.dir + "/f.ks");
    recording_io->new_recording();
    return 0;
}
