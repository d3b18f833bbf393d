// libFuzzer harness: a DICOMDIR's records on arbitrary bytes, beside a small
// folder of files and a link out of it: no crash, and every file returned is
// a regular file below the DICOMDIR's folder, reached without "..".
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include <wx/init.h>
#include <wx/log.h>

#include "volumes/dicomdir.h"

namespace fs = std::filesystem;

namespace {

fs::path root;

void remove_medium()
{
    std::error_code ec;
    fs::remove_all(root, ec);
}

fs::path make_medium()
{
    root = fs::temp_directory_path() / ("ks_dicomdir_fuzz_" + std::to_string(::getpid()));
    std::atexit(remove_medium);
    std::error_code ec;
    fs::create_directories(root / "medium" / "IMG", ec);
    std::ofstream(root / "medium" / "IMG" / "A") << "a";
    std::ofstream(root / "medium" / "B") << "b";
    std::ofstream(root / "SECRET") << "s";
    fs::create_directory_symlink(root, root / "medium" / "UP", ec);
    return root / "medium";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    static const fs::path medium = make_medium();
    wxLog::EnableLogging(false);
    const fs::path index = medium / "DICOMDIR";
    std::ofstream(index, std::ios::binary).write(reinterpret_cast<const char*>(data), std::streamsize(size));
    std::vector<wxString> files;
    long left_out = 0;
    wxString why;
    if (!read_dicomdir(wxString(index.string()), &files, &left_out, &why)) {
        if (why.empty())
            std::abort();
        return 0;
    }
    const std::string prefix = medium.string() + "/";
    for (const wxString& f : files) {
        const std::string s = f.ToStdString();
        std::error_code ec;
        if (s.rfind(prefix, 0) != 0 || s.find("..") != std::string::npos || s.find("UP") != std::string::npos ||
            fs::symlink_status(s, ec).type() != fs::file_type::regular)
            std::abort();
    }
    return 0;
}
