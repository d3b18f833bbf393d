// Named resources: typed values with storage flags that also form the
// program's event system. A procedure registers on the resources it depends
// on; writes are collected and one change pass puts the new values in place
// and calls each procedure concerned exactly once.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <wx/string.h>

#include "common/functor.h"

class wxConfigBase;
class wxOutputStream;
class wxTextOutputStream;

// Storage flag bits.
enum : unsigned long {
    RES_FLAG_RECORDING_HEADER = 1,
    RES_FLAG_RECORDING_BODY = 2,
    RES_FLAG_TEMPLATE_HEADER = 4,
    RES_FLAG_TEMPLATE_BODY = 8,
    RES_FLAG_SETTINGS = 16,
    RES_MASK_RECORDING = 3,
    RES_MASK_TEMPLATE = 12,
    RES_MASK_ALL = ~0ul,  // script lines may set any resource
};

// Groups for reporting unsaved changes.
enum resgroup_t : int {
    RESGROUP_DATA = 0,
    RESGROUP_LANDMARKS,
    RESGROUP_OBJECTS,
    RESGROUP_IMAGE,
    RESGROUP_POSITION,
    RESGROUP_CALIBRATION,
    RESGROUP_RF,
    RESGROUP_DICOM,
    RESGROUP_STRAIN,
    RESGROUP_SWEEPS,
    RESGROUP_PROBE_MOTOR,
    RESGROUP_GANTRY,
    RESGROUP_MISC,
    RESGROUP_COUNT
};
wxString resgroup_name(int group);

class base_res_t : private functor_holder_t {
public:
    using parse_proc_t = std::function<bool(const wxString&)>;
    using write_out_proc_t = std::function<bool(wxTextOutputStream&)>;

    base_res_t(const wchar_t* name, unsigned long flags, int group);
    base_res_t(const base_res_t&) = delete;
    base_res_t& operator=(const base_res_t&) = delete;
    virtual ~base_res_t();

    // Value operations, in the order every class provides them.
    virtual bool implement_change() = 0;
    virtual bool parse_value_no_changeprocs(const wxString& text) = 0;
    virtual wxString get_value_as_string() const = 0;
    virtual bool write_out_value(wxTextOutputStream& out) const = 0;
    virtual void cancel_pending_change() = 0;
    virtual void restore_kept_value() = 0;
    virtual void cancel_kept_value() = 0;
    virtual bool has_text_form() const { return true; }
    // Back to the value the resource was built with; for kinds that hold one.
    virtual void restore_default_value() {}

    const wchar_t* name() const { return name_; }
    unsigned long flags() const { return flags_; }
    int group() const { return group_; }
    bool has_kept_value() const { return has_kept(flags_); }
    bool changed() const { return changed_; }
    bool written() const { return written_; }
    bool needs_save() const { return needs_save_; }
    void set_needs_save(bool v) { needs_save_ = v; }

    // Worry lists.
    void add_proc(base_functor* f);
    void remove_worry(base_functor* f);
    long read_worrylist_length(base_functor* watcher = nullptr);
    void remove_worrylist_length_worry(base_functor* watcher);

    void set_parse_proc(parse_proc_t proc) { parse_proc_ = std::move(proc); }
    void set_write_out_proc(write_out_proc_t proc) { write_out_proc_ = std::move(proc); }
    bool has_parse_proc() const { return static_cast<bool>(parse_proc_); }

    // Queues this resource for the next pass (or the running one).
    void assemble_worry_list();

    // The change pass.
    static void make_pending_writes_happen();
    static void cancel_all_pending_changes();
    static bool pass_running();

    // Names, lines and files.
    static base_res_t* find_named_resource(const wxString& name);
    static base_res_t* find_named_resource(const wchar_t* name, std::size_t length);
    static bool parse_no_changeprocs(const wxString& line, unsigned long mask);
    static bool write_out_to_file(wxOutputStream& stream, unsigned long mask);
    static bool file_needs_save(unsigned long mask, wxString& text);
    static void clear_needs_save(unsigned long mask);
    static wxString get_as_string(const wxString& name);
    static unsigned hash_bucket(const wchar_t* name, std::size_t length);
    static void check_out_hash_table();

    static void set_loading_file(bool on);
    static bool loading_file();
    static void set_postpone_writes(bool on);
    static bool postpone_writes();
    static void cancel_kept_values();
    static void restore_kept_values();
    // Before a recording is read: every value a recording may carry returns to
    // the user's kept value, or to its default when it has none, so nothing
    // of the previous recording leaks into a file that lacks the line.
    static void restore_recording_values();

    // The settings store (not owned); null means settings resources keep their
    // values in memory only.
    static void set_settings_store(wxConfigBase* store);
    static wxConfigBase* settings_store();
    // While *in_script is true, values lose trailing white space as well.
    static void set_script_switch(const bool* in_script);

    // All resources, newest first.
    static base_res_t* first_resource();
    base_res_t* next_resource() const { return next_; }

    static bool has_kept(unsigned long flags)
    {
        return (flags & RES_MASK_RECORDING) && (flags & (RES_MASK_TEMPLATE | RES_FLAG_SETTINGS));
    }

protected:
    // Typed classes call these when a value is stored as pending.
    void note_written() { written_ = true; }
    static wxString sanitised(const wxString& s);  // line breaks would inject lines into files

private:
    struct worry_t;
    struct watcher_t;
    struct state_t;
    static state_t& state();

    void forget_functor(base_functor* f) override;
    void call_watchers();
    bool is_watcher(const base_functor* f) const;
    bool is_worrying(const base_functor* f) const;
    void release_holder_if_unused(base_functor* f);
    void unlink_from_tables();

    const wchar_t* name_;
    std::size_t name_length_;
    unsigned long flags_;
    int group_;
    bool written_ = false, changing_ = false, queued_ = false, changed_ = false, needs_save_ = false;

    worry_t* worry_head_ = nullptr;
    std::vector<std::unique_ptr<worry_t>> worry_nodes_;
    long worry_count_ = 0;
    watcher_t* watcher_head_ = nullptr;
    std::vector<std::unique_ptr<watcher_t>> watcher_nodes_;
    bool walking_watchers_ = false;
    std::vector<std::unique_ptr<watcher_t>> deferred_watchers_;

    base_res_t* next_changing_ = nullptr;
    base_res_t* next_ = nullptr;
    base_res_t* next_in_bucket_ = nullptr;
    parse_proc_t parse_proc_;
    write_out_proc_t write_out_proc_;

    template <typename> friend class compared_res_t;
    friend class flag_res_t;
    template <typename> friend class genflag_res_t;
};
