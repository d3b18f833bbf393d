// The resource table under load: a change pass over the whole table with
// 1,000 registered procedures, and parsing of resource lines as every
// recording open does (target: at least 1,000,000 lines/s on one core).
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>
#include <wx/log.h>

#include "resources/resource_table.h"

namespace {

struct counter_t {
    long calls = 0;
    void run() { ++calls; }
};

// Every typed resource of the table, for writing in a loop.
std::vector<long_res_t*> long_resources()
{
    std::vector<long_res_t*> out;
    for (base_res_t* r = base_res_t::first_resource(); r; r = r->next_resource())
        if (auto* l = dynamic_cast<long_res_t*>(r))
            out.push_back(l);
    return out;
}

void BM_ChangePassWholeTable(benchmark::State& state)
{
    resource_t table;
    const std::vector<long_res_t*> longs = long_resources();
    counter_t counter;
    std::vector<std::unique_ptr<pmf_functor<counter_t>>> procs;
    std::vector<base_res_t*> all;
    for (base_res_t* r = base_res_t::first_resource(); r; r = r->next_resource())
        all.push_back(r);
    for (int i = 0; i < 1000; ++i) {
        procs.push_back(std::make_unique<pmf_functor<counter_t>>(&counter, &counter_t::run));
        // Each procedure worries about three resources spread over the table.
        for (int k = 0; k < 3; ++k)
            all[static_cast<std::size_t>(i * 7 + k * 211) % all.size()]->add_proc(procs.back().get());
    }
    std::int64_t v = 0;
    for (auto _ : state) {
        ++v;
        for (long_res_t* l : longs)
            l->write_no_changeprocs(v);
        for (base_res_t* r : all)
            if (auto* f = dynamic_cast<flag_res_t*>(r))
                f->write_no_changeprocs();
        base_res_t::make_pending_writes_happen();
    }
    state.counters["procedures_called_per_pass"] =
        benchmark::Counter(static_cast<double>(counter.calls) / static_cast<double>(state.iterations()));
    state.counters["resources"] = static_cast<double>(table.size());
}
BENCHMARK(BM_ChangePassWholeTable)->Unit(benchmark::kMicrosecond);

void BM_ParseResourceLines(benchmark::State& state)
{
    resource_t table;
    // A realistic mix of header and settings lines, plus unknown names.
    const std::vector<wxString> kinds = {
        "RES_BUF_WIDTH 640", "RES_XSCALE 0.012500", "RES_INVERT_BSCAN false", "RES_CAL_PROBE Linear 7.5 MHz",
        "RES_STRAIN_NOISE 0.250000", "RES_VID_XPOS 120", "RES_FROM_ANOTHER_VERSION 3", "RES_ROLL -12.345678"};
    std::vector<wxString> lines;
    for (int i = 0; i < 100000; ++i)
        lines.push_back(kinds[static_cast<std::size_t>(i) % kinds.size()]);
    base_res_t::set_postpone_writes(true);
    for (auto _ : state) {
        for (const wxString& line : lines)
            benchmark::DoNotOptimize(base_res_t::parse_no_changeprocs(line, RES_MASK_RECORDING | RES_MASK_TEMPLATE));
    }
    base_res_t::set_postpone_writes(false);
    base_res_t::cancel_all_pending_changes();
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines.size()));
    state.SetLabel("items/s = lines/s");
}
BENCHMARK(BM_ParseResourceLines)->Unit(benchmark::kMillisecond);

}  // namespace
