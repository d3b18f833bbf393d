// libFuzzer harness: a script of arbitrary text is parsed and, when it
// reads and keeps to the harness's folder, run with every function a no-op:
// no crash, hang or unbounded memory whatever the text (repeats are
// bounded by the language, the harness caps what they may do).
#include <cstdint>
#include <string>

#include <wx/filename.h>

#include "fuzz_session.h"
#include "script/script.h"

namespace {

struct quiet_sink_t : script_sink_t {
    void write(const wxString&, script_message_kind_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz_session_t env;
    static script_function_table_t table = [] {
        script_function_table_t t;
        const script_function_table_t names;
        for (const script_function_t& f : names.functions())
            t.register_function(f.name, [](const std::vector<wxString>&) { return script_result_t{true, {}}; });
        return t;
    }();
    if (size > 4096)
        return 0;
    const wxString text = wxString::FromUTF8(reinterpret_cast<const char*>(data), size);
    const wxString script_path = wxString(env.dir) + "/fuzz.txt";
    quiet_sink_t sink;
    Script script(sink, table);
    if (!script.ParseScript(text, script_path))
        return 0;
    const script_plan_t& plan = script.plan();
    // Runs only what stays in the harness's folder and does a bounded amount of work.
    if (!plan.files.empty() || wxFileName(plan.results_dir).GetFullPath() != wxFileName(env.dir).GetFullPath() ||
        plan.steps_per_file > 10000)
        return 0;
    for (const script_block_t& block : plan.body)
        if (block.kind() == "repeat" &&
            block.commands.size() * std::stoul(block.commands.front().words[1].ToStdString()) > 10000)
            return 0;
    script.Run(text, script_path);
    return 0;
}
