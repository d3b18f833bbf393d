// The console bell of gated recording: the escape sequences it writes, and
// silence when the console cannot be opened.
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <wx/filename.h>

#include "acquisition/gate_signal.h"

namespace {

std::string read_all(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(GateSignal, TheConsoleHearsEachPatternAsFrequencyDurationAndBell)
{
    // Catches swapped tones or a malformed escape sequence, which the console would ignore.
    const std::string path = wxFileName::CreateTempFileName("ks_bell").ToStdString();
    console_bell_t bell(path);
    bell.sound(GATE_SIGNAL_STILL);
    bell.sound(GATE_SIGNAL_CLOSED);
    bell.sound(GATE_SIGNAL_JUMP);
    EXPECT_EQ(read_all(path), "\x1b[10;512]\x1b[11;50]\a\x1b[10;256]\x1b[11;100]\a"
                              "\x1b[10;256]\x1b[11;50]\a\x1b[10;512]\x1b[11;100]\a"
                              "\x1b[10;128]\x1b[11;100]\a");
    wxRemoveFile(path);
    console_bell_t absent("/nonexistent/console");
    absent.sound(GATE_SIGNAL_JUMP);  // must neither fail nor create anything
    EXPECT_FALSE(wxFileName::FileExists("/nonexistent/console"));
}

}  // namespace
