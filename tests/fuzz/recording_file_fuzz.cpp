// libFuzzer harness: a recording and its image data file made of arbitrary
// bytes must be refused or read cleanly, never crash or read out of bounds.
// The input is the .ks text, optionally followed by "\0KVI\0" and the .kvi bytes.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include "fuzz_session.h"
#include "resources/recording_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz_session_t env;
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
