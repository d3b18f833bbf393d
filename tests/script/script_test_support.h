// What the script tests share: a sink that keeps every line, a function table
// of fakes that record their calls, and a session in a temporary folder.
#pragma once

#include <map>
#include <vector>

#include <wx/ffile.h>
#include <wx/filename.h>

#include "script/script.h"
#include "support/session_fixture.h"

struct recording_sink_t : script_sink_t {
    std::vector<wxString> lines;
    std::vector<script_message_kind_t> kinds;

    void write(const wxString& line, script_message_kind_t kind) override
    {
        lines.push_back(line);
        kinds.push_back(kind);
    }
    std::vector<wxString> errors() const
    {
        std::vector<wxString> out;
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (kinds[i] == script_message_kind_t::error)
                out.push_back(lines[i]);
        return out;
    }
    bool has(const wxString& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
    bool has_containing(const wxString& part) const
    {
        return std::any_of(lines.begin(), lines.end(), [&](const wxString& l) { return l.Contains(part); });
    }
    wxString all() const
    {
        wxString s;
        for (const wxString& l : lines)
            s << l << "\n";
        return s;
    }
};

struct call_t {
    wxString name;
    std::vector<wxString> args;
    bool operator==(const call_t&) const = default;
};

// Every function of the language registered as a fake that records its call
// and succeeds, unless told to fail.
struct fake_functions_t {
    script_function_table_t table;
    std::vector<call_t> calls;
    std::map<wxString, wxString> failing;  // name -> reason given

    fake_functions_t()
    {
        const script_function_table_t known;
        for (const script_function_t& f : known.functions())
            fake(f.name);
    }
    void fake(const wxString& name, bool needs_display = false)
    {
        table.register_function(
            name,
            [this, name](const std::vector<wxString>& args) {
                calls.push_back({name, args});
                const auto fail = failing.find(name);
                return fail == failing.end() ? script_result_t{true, {}} : script_result_t{false, fail->second};
            },
            needs_display);
    }
    std::vector<call_t> calls_of(const wxString& name) const
    {
        std::vector<call_t> out;
        for (const call_t& c : calls)
            if (c.name == name)
                out.push_back(c);
        return out;
    }
};

inline wxString read_text_file(const wxString& path)
{
    wxFFile f(path, "rb");
    wxString text;
    if (!f.IsOpened() || !f.ReadAll(&text, wxConvUTF8))
        return "<unreadable>";
    return text;
}

inline bool write_text_file(const wxString& path, const wxString& text)
{
    wxFFile f(path, "wb");
    return f.IsOpened() && f.Write(text, wxConvUTF8) && f.Close();
}

class ScriptTest : public SessionTest {
protected:
    recording_sink_t sink;
    fake_functions_t fakes;

    // The script saved in the session's folder, run there.
    bool run(const wxString& text, const wxString& name = "run.txt")
    {
        const wxString script_path = path(name);
        if (!write_text_file(script_path, text))
            return false;
        Script script(sink, fakes.table);
        return script.Run(text, script_path);
    }
    wxString table() const { return read_text_file(path("run_results.txt")); }
    wxString log() const { return read_text_file(path("run_results.log")); }
};
