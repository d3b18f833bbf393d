// Replays a fuzz corpus through its harness without libFuzzer: every file in
// the folders named on the command line is given to LLVMFuzzerTestOneInput
// once, so that past findings stay fixed wherever the ordinary suite runs.
// A crash or a sanitizer report fails the run; so does a folder that is
// missing or empty, which would otherwise pass without testing anything.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR...\n", argv[0]);
        return 2;
    }
    for (int a = 1; a < argc; ++a) {
        std::error_code ec;
        std::vector<std::filesystem::path> files;
        for (const auto& e : std::filesystem::directory_iterator(argv[a], ec))
            if (e.is_regular_file())
                files.push_back(e.path());
        if (ec || files.empty()) {
            std::fprintf(stderr, "%s: no corpus files in %s\n", argv[0], argv[a]);
            return 1;
        }
        std::sort(files.begin(), files.end());  // a failure names the same file on every run
        for (const auto& f : files) {
            std::ifstream in(f, std::ios::binary);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            if (!in.eof() && in.fail()) {
                std::fprintf(stderr, "%s: cannot read %s\n", argv[0], f.c_str());
                return 1;
            }
            std::printf("%s\n", f.filename().c_str());
            std::fflush(stdout);  // the last name printed is the input that crashed
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        }
        std::printf("%zu inputs from %s replayed\n", files.size(), argv[a]);
    }
    return 0;
}
