// The functions a script's 'func' lines may call: every name the language
// knows with its argument counts, filled in by the subsystems that do the
// work. A known name nobody registered is "not available in this version";
// one that needs the program's window is unavailable without it.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include <wx/string.h>

struct script_result_t {
    bool ok = false;
    wxString message;  // said in the script's messages; the reason when not ok
};

// Called with the words after the function's name, already counted.
using script_callable_t = std::function<script_result_t(const std::vector<wxString>& args)>;

struct script_function_t {
    wxString name;
    int min_args = 0, max_args = 0;
    script_callable_t call;  // empty until registered
    bool needs_display = false;
};

// Program state outside the resources (a view's camera) that every file of a
// run must start from, as the resources do: saved when the run starts, put
// back before each listed file and after the last (with new_data: what
// belonged to the data held then starts afresh). A run on the open recording
// leaves it as the script set it, as it leaves the recording's values.
struct script_state_t {
    std::function<void()> save;
    std::function<void(bool new_data)> restore;
};

class script_function_table_t {
public:
    // Every known name, none registered, no display.
    script_function_table_t();

    // Fills in a known name (replacing an earlier registration); false, with
    // the reason logged, for a name the language does not know.
    bool register_function(const wxString& name, script_callable_t call, bool needs_display = false);
    void unregister_function(const wxString& name);

    // Whether functions that draw into the program's views can run.
    void set_display_available(bool on) { display_ = on; }
    bool display_available() const { return display_; }

    // The entry for a label, the prefix S_, KSC_ or KSM_ dropped; null for a
    // name the language does not know.
    const script_function_t* find(const wxString& label) const;
    static wxString strip_prefix(const wxString& label);

    // Empty when the function can run now, else why not (a "Function ... is not
    // available" message).
    wxString unavailable_reason(const script_function_t& f) const;

    const std::vector<script_function_t>& functions() const { return functions_; }

    // State the functions keep outside the resources, by name (a later one replaces an earlier).
    void add_state(const wxString& name, script_state_t state);
    void save_states() const;
    void restore_states(bool new_data) const;

private:
    script_function_t* find_exact(const wxString& name);
    std::vector<script_function_t> functions_;
    std::vector<std::pair<wxString, script_state_t>> states_;
    bool display_ = false;
};

// The program's table, with the file functions already registered.
script_function_table_t& script_functions();
