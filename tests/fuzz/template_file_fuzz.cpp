// libFuzzer harness: a template made of arbitrary bytes must be refused or
// read cleanly, never crash, overflow or read out of bounds.
#include <cstdint>
#include <fstream>
#include <string>

#include "fuzz_session.h"
#include "resources/recording_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz_session_t env;
    std::ofstream(env.dir + "/f.kst", std::ios::binary) << std::string(reinterpret_cast<const char*>(data), size);
    recording_io->try_read_template_file(env.dir + "/f.kst");
    recording_io->new_recording();
    return 0;
}
