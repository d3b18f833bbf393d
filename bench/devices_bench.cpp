// Loading a 100,000-line .zsq file with nested repeats and multi-commands,
// beside a plain pass that only splits the same bytes into lines (target:
// within 5x of it). Two repeat counts, 2 and 4000000000, show that the load
// does not depend on them: steps are counted, never run.
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>
#include <wx/log.h>

#include "devices/cmd_sequence.h"

namespace {

constexpr int lines_wanted = 100000;

// Blocks of 10 lines: a multi-command with two nested repeats, each called
// from the main list, which holds nested repeats of its own.
std::string make_zsq(const char* count)
{
    std::string text;
    int lines = 0;
    int multis = 0;
    while (lines < lines_wanted / 2) {
        text += "BEGIN_MULTI_COMMAND row" + std::to_string(multis++) + "\n";
        text += std::string("  repeat ") + count + "\n    step_x 0.1\n    repeat " + count +
                "\n      move 1.5 2.25 -3.125\n      pause\n    repeat_end\n  repeat_end\n";
        text += "END_MULTI_COMMAND\n";
        lines += 9;
    }
    text += "BEGIN_MAIN\n";
    ++lines;
    for (int m = 0; lines < lines_wanted - 1; m = (m + 1) % multis) {
        text += std::string("\trepeat ") + count + "\n\t\trow" + std::to_string(m) + "\n\t\tstep 0.25 -0.5 1e-3\n" +
                "\t\thome_z\n\trepeat_end\n";
        lines += 5;
    }
    text += "END_MAIN\n";
    return text;
}

void BM_PlainLineSplit(benchmark::State& state)
{
    const std::string text = make_zsq("2");
    for (auto _ : state) {
        std::vector<std::string_view> lines;
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t end = text.find('\n', at);
            if (end == std::string::npos)
                end = text.size();
            lines.emplace_back(text.data() + at, end - at);
            at = end + 1;
        }
        benchmark::DoNotOptimize(lines.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_LoadZsq(benchmark::State& state)
{
    const std::string text = make_zsq(state.range(0) == 0 ? "2" : "4000000000");
    wxLogNull quiet;
    cmdSequence sequence;
    for (auto _ : state) {
        if (!sequence.load(text)) {
            state.SkipWithError("the generated file did not load");
            break;
        }
        benchmark::DoNotOptimize(sequence.steps());
    }
    state.counters["steps"] = static_cast<double>(sequence.steps());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

}  // namespace

BENCHMARK(BM_PlainLineSplit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadZsq)->Arg(0)->Arg(1)->ArgName("huge_counts")->Unit(benchmark::kMillisecond);
