// The main of the benchmark programs that use wx: wx is set up around the
// run, and only warnings and errors are logged.
#include <benchmark/benchmark.h>
#include <wx/init.h>
#include <wx/log.h>

int main(int argc, char** argv)
{
    wxInitializer wx;
    wxLog::SetLogLevel(wxLOG_Warning);  // lines and frames the benchmarks skip log at debug level
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
