#include "base_res.h"

#include "value_text.h"

#include <algorithm>
#include <cwchar>

#include <wx/confbase.h>
#include <wx/log.h>
#include <wx/stream.h>
#include <wx/txtstrm.h>

struct base_res_t::worry_t {
    base_functor* functor;
    worry_t* next = nullptr;       // next node of this resource's worry list
    worry_t* next_call = nullptr;  // next node of the pass's call list
    std::uint64_t listed_in = 0;   // call-list generation this node was put on
    bool removed = false;
};

struct base_res_t::watcher_t {
    base_functor* functor;
    watcher_t* next = nullptr;
    bool removed = false;
};

struct base_res_t::state_t {
    base_res_t* all = nullptr;  // newest first
    std::array<base_res_t*, 512> buckets{};
    base_res_t* changing = nullptr;
    worry_t* call_head = nullptr;
    worry_t** call_tail = &call_head;
    worry_t** cursor = nullptr;  // set only while a pass is calling procedures
    std::uint64_t generation = 1;
    std::vector<std::unique_ptr<worry_t>> removed;
    bool nothing_to_change = true;
    bool postpone = false;
    bool loading = false;
    wxConfigBase* settings = nullptr;
    const bool* script_switch = nullptr;  // value of the "a script is running" resource

    void clear_call_list()
    {
        call_head = nullptr;
        call_tail = &call_head;
        cursor = nullptr;
        ++generation;
        removed.clear();
    }
};

base_res_t::state_t& base_res_t::state()
{
    static state_t s;
    return s;
}

wxString resgroup_name(int group)
{
    static const char* const names[RESGROUP_COUNT] = {
        "Image or position data", "Landmark data", "Object data", "Image parameters", "Position parameters",
        "Calibration parameters", "RF related parameters", "DICOM or thickness related parameters",
        "Strain related parameters", "Multiple sweep parameters", "Probe motor parameters",
        "Zaber gantry parameters", "Miscellaneous parameters"};
    return group >= 0 && group < RESGROUP_COUNT ? wxString(names[group]) : wxString();
}

// ---------------------------------------------------------------- lifetime

base_res_t::base_res_t(const wchar_t* name, unsigned long flags, int group)
    : name_(name), name_length_(std::wcslen(name)), flags_(flags), group_(group)
{
    state_t& s = state();
    next_ = s.all;
    s.all = this;
    const unsigned b = hash_bucket(name_, name_length_);
    next_in_bucket_ = s.buckets[b];
    s.buckets[b] = this;
}

base_res_t::~base_res_t()
{
    state_t& s = state();
    // Nodes still on a call list must outlive the walk; the rest go now.
    for (auto& node : worry_nodes_) {
        node->removed = true;
        if (node->listed_in == s.generation)
            s.removed.push_back(std::move(node));
    }
    for (worry_t* n = worry_head_; n; n = n->next)
        n->functor->drop_holder(this);
    for (watcher_t* w = watcher_head_; w; w = w->next)
        w->functor->drop_holder(this);
    unlink_from_tables();
}

void base_res_t::unlink_from_tables()
{
    state_t& s = state();
    for (base_res_t** p = &s.all; *p; p = &(*p)->next_)
        if (*p == this) {
            *p = next_;
            break;
        }
    for (base_res_t** p = &s.buckets[hash_bucket(name_, name_length_)]; *p; p = &(*p)->next_in_bucket_)
        if (*p == this) {
            *p = next_in_bucket_;
            break;
        }
    if (changing_)
        for (base_res_t** p = &s.changing; *p; p = &(*p)->next_changing_)
            if (*p == this) {
                *p = next_changing_;
                break;
            }
}

base_res_t* base_res_t::first_resource()
{
    return state().all;
}

// ---------------------------------------------------------------- worry lists

bool base_res_t::is_worrying(const base_functor* f) const
{
    for (const worry_t* n = worry_head_; n; n = n->next)
        if (n->functor == f)
            return true;
    return false;
}

bool base_res_t::is_watcher(const base_functor* f) const
{
    for (const watcher_t* w = watcher_head_; w; w = w->next)
        if (w->functor == f)
            return true;
    return false;
}

void base_res_t::release_holder_if_unused(base_functor* f)
{
    if (!is_worrying(f) && !is_watcher(f))
        f->drop_holder(this);
}

void base_res_t::add_proc(base_functor* f)
{
    if (!f || is_worrying(f))
        return;
    auto node = std::make_unique<worry_t>();
    node->functor = f;
    node->next = worry_head_;
    worry_head_ = node.get();
    worry_nodes_.push_back(std::move(node));
    f->note_holder(this);
    ++worry_count_;
    call_watchers();
}

void base_res_t::remove_worry(base_functor* f)
{
    worry_t** link = &worry_head_;
    while (*link && (*link)->functor != f)
        link = &(*link)->next;
    if (!*link)
        return;
    worry_t* node = *link;
    *link = node->next;
    node->removed = true;

    state_t& s = state();
    auto owned = std::find_if(worry_nodes_.begin(), worry_nodes_.end(),
                              [node](const std::unique_ptr<worry_t>& p) { return p.get() == node; });
    if (node->listed_in == s.generation) {
        // Still linked into a call list: keep it until the list is dropped, and let
        // the functor be listed again through another resource that changes.
        if (f->list_mark == s.generation)
            f->list_mark = 0;
        s.removed.push_back(std::move(*owned));
    }
    worry_nodes_.erase(owned);
    release_holder_if_unused(f);
    --worry_count_;
    call_watchers();
}

long base_res_t::read_worrylist_length(base_functor* watcher)
{
    if (watcher && !is_watcher(watcher)) {
        auto node = std::make_unique<watcher_t>();
        node->functor = watcher;
        node->next = watcher_head_;
        watcher_head_ = node.get();
        watcher_nodes_.push_back(std::move(node));
        watcher->note_holder(this);
    }
    return worry_count_;
}

void base_res_t::remove_worrylist_length_worry(base_functor* watcher)
{
    watcher_t** link = &watcher_head_;
    while (*link && (*link)->functor != watcher)
        link = &(*link)->next;
    if (!*link)
        return;
    watcher_t* node = *link;
    *link = node->next;
    node->removed = true;
    auto owned = std::find_if(watcher_nodes_.begin(), watcher_nodes_.end(),
                              [node](const std::unique_ptr<watcher_t>& p) { return p.get() == node; });
    if (walking_watchers_)
        deferred_watchers_.push_back(std::move(*owned));
    watcher_nodes_.erase(owned);
    release_holder_if_unused(watcher);
}

void base_res_t::call_watchers()
{
    if (walking_watchers_)
        return;
    walking_watchers_ = true;
    for (watcher_t* w = watcher_head_; w;) {
        if (!w->removed)
            w->functor->call();
        w = w->next;  // read after the call: the watcher may have changed the list
    }
    walking_watchers_ = false;
    deferred_watchers_.clear();
}

void base_res_t::forget_functor(base_functor* f)
{
    remove_worry(f);
    remove_worrylist_length_worry(f);
    f->drop_holder(this);
}

// ---------------------------------------------------------------- the change pass

bool base_res_t::pass_running()
{
    return state().cursor != nullptr;
}

void base_res_t::assemble_worry_list()
{
    if (queued_)
        return;
    state_t& s = state();
    const bool already_changing = changing_;
    changing_ = queued_ = true;
    s.nothing_to_change = false;
    for (worry_t* n = worry_head_; n; n = n->next) {
        if (n->functor->list_mark == s.generation)
            continue;
        n->functor->list_mark = s.generation;
        n->listed_in = s.generation;
        n->next_call = nullptr;
        *s.call_tail = n;
        s.call_tail = &n->next_call;
    }
    if (!already_changing) {
        next_changing_ = s.changing;
        s.changing = this;
    }
}

void base_res_t::make_pending_writes_happen()
{
    state_t& s = state();
    if (s.postpone || s.nothing_to_change)
        return;
    for (base_res_t* r = s.changing; r; r = r->next_changing_)
        if (r->queued_) {
            if (r->implement_change())
                r->changed_ = true;
            r->queued_ = false;
        }
    if (s.cursor)
        return;  // nested: the outer pass calls whatever was appended

    s.cursor = &s.call_head;
    while (worry_t* node = *s.cursor) {
        s.cursor = &node->next_call;
        if (!node->removed)
            node->functor->call();
    }
    s.clear_call_list();

    for (base_res_t* r = s.changing; r; r = r->next_changing_) {
        if (r->queued_) {
            const char* stars = "*********************************************************************************";
            wxLogDebug("%s", stars);
            wxLogDebug("* PROBLEM IN RESOURCE MANAGER - YOU HAVE A write_no_changeprocs CALLED POSSIBLY  ");
            wxLogDebug("* INDIRECTLY FROM WITHIN A CHANGEPROC WITH NO APPROPRIATE CALL TO write          ");
            wxLogDebug("* OR make_pending_writes_happen.  THE RESOURCE IS %s                 ", wxString(r->name_));
            wxLogDebug("%s", stars);
            r->cancel_pending_change();  // the write is dropped, so the next one is seen as new
            r->queued_ = false;
        }
        r->written_ = r->changing_ = r->changed_ = false;
    }
    base_res_t* r = s.changing;
    while (r) {
        base_res_t* next = r->next_changing_;
        r->next_changing_ = nullptr;
        r = next;
    }
    s.changing = nullptr;
    s.nothing_to_change = true;
}

void base_res_t::cancel_all_pending_changes()
{
    state_t& s = state();
    if (s.cursor) {
        // Inside a pass the walk is still using the list; only drop what is prepared.
        wxLogDebug("cancel_all_pending_changes called during a change pass; pending values dropped.");
    } else {
        s.clear_call_list();
    }
    base_res_t* r = s.changing;
    while (r) {
        r->written_ = false;
        if (r->changing_) {
            r->changing_ = r->queued_ = r->changed_ = false;
            r->cancel_pending_change();
        }
        base_res_t* next = r->next_changing_;
        r->next_changing_ = nullptr;
        r = next;
    }
    s.changing = nullptr;
    s.nothing_to_change = true;
}

// ---------------------------------------------------------------- switches

void base_res_t::set_loading_file(bool on) { state().loading = on; }
bool base_res_t::loading_file() { return state().loading; }
void base_res_t::set_postpone_writes(bool on) { state().postpone = on; }
bool base_res_t::postpone_writes() { return state().postpone; }
void base_res_t::set_settings_store(wxConfigBase* store) { state().settings = store; }
void base_res_t::set_script_switch(const bool* in_script) { state().script_switch = in_script; }
wxConfigBase* base_res_t::settings_store() { return state().settings; }

void base_res_t::cancel_kept_values()
{
    for (base_res_t* r = state().all; r; r = r->next_)
        if (!(r->flags_ & RES_FLAG_SETTINGS))
            r->cancel_kept_value();
}

void base_res_t::restore_kept_values()
{
    for (base_res_t* r = state().all; r; r = r->next_)
        if (r->has_kept_value())
            r->restore_kept_value();
}

void base_res_t::restore_recording_values()
{
    for (base_res_t* r = state().all; r; r = r->next_) {
        if (!(r->flags_ & RES_MASK_RECORDING))
            continue;
        if (r->has_kept_value())
            r->restore_kept_value();
        else
            r->restore_default_value();
    }
}

// ---------------------------------------------------------------- names

unsigned base_res_t::hash_bucket(const wchar_t* name, std::size_t length)
{
    // Jenkins' lookup2 mixing over the length and the characters, in 64-bit arithmetic.
    std::uint64_t a = 0x9e3779b9u, b = 0x9e3779b9u, c = length;
    auto mix = [&] {
        a -= b; a -= c; a ^= (c >> 13);
        b -= c; b -= a; b ^= (a << 8);
        c -= a; c -= b; c ^= (b >> 13);
        a -= b; a -= c; a ^= (c >> 12);
        b -= c; b -= a; b ^= (a << 16);
        c -= a; c -= b; c ^= (b >> 5);
        a -= b; a -= c; a ^= (c >> 3);
        b -= c; b -= a; b ^= (a << 10);
        c -= a; c -= b; c ^= (b >> 15);
    };
    std::size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        a += static_cast<std::uint32_t>(name[i]);
        b += static_cast<std::uint32_t>(name[i + 1]);
        c += static_cast<std::uint32_t>(name[i + 2]);
        mix();
    }
    if (i < length)
        a += static_cast<std::uint32_t>(name[i]);
    if (i + 1 < length)
        b += static_cast<std::uint32_t>(name[i + 1]);
    mix();
    return static_cast<unsigned>(c & 511u);
}

base_res_t* base_res_t::find_named_resource(const wchar_t* name, std::size_t length)
{
    for (base_res_t* r = state().buckets[hash_bucket(name, length)]; r; r = r->next_in_bucket_)
        if (r->name_length_ == length && std::wmemcmp(r->name_, name, length) == 0)
            return r;
    return nullptr;
}

base_res_t* base_res_t::find_named_resource(const wxString& name)
{
    const wxWCharBuffer w = name.wc_str();
    return find_named_resource(w.data(), w.length());
}

void base_res_t::check_out_hash_table()
{
    const state_t& s = state();
    for (std::size_t b = 0; b < s.buckets.size(); ++b) {
        int n = 0;
        for (base_res_t* r = s.buckets[b]; r; r = r->next_in_bucket_)
            ++n;
        if (n)
            wxLogDebug("Hash slot %d has %d occupants", static_cast<int>(b), n);
    }
}

wxString base_res_t::get_as_string(const wxString& name)
{
    base_res_t* r = find_named_resource(name);
    if (!r) {
        wxLogError("get_as_string: Unable to parse RES_NAME: %s", name);
        return {};
    }
    if (!r->has_text_form()) {
        wxLogError("get_as_string: Unable to convert RES_NAME '%s' value to string.", name);
        return {};
    }
    return r->get_value_as_string();
}

wxString base_res_t::sanitised(const wxString& s)
{
    return value_text::single_line(s);
}

// ---------------------------------------------------------------- lines and files

namespace {
bool is_delimiter(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}
bool is_space(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}
}  // namespace

bool base_res_t::parse_no_changeprocs(const wxString& line, unsigned long mask)
{
    const wxString::const_iterator end = line.end();
    wxString::const_iterator p = line.begin();
    while (p != end && is_delimiter(*p))
        ++p;
    if (p == end)
        return true;
    const wxString::const_iterator token_start = p;
    while (p != end && !is_delimiter(*p))
        ++p;

    // Names are short; anything longer than this cannot be a resource.
    constexpr std::size_t max_name = 64;
    const auto token_length = static_cast<std::size_t>(p - token_start);
    base_res_t* r = nullptr;
    if (token_length <= max_name) {
        wchar_t token[max_name];
        std::size_t i = 0;
        for (auto q = token_start; q != p; ++q)
            token[i++] = static_cast<wchar_t>(*q);
        r = find_named_resource(token, token_length);
    }
    if (!r) {
        wxLogDebug("parse_no_changeprocs: Unable to parse %s", line.Left(200));
        return true;
    }
    if (!(r->flags_ & mask) && mask != RES_MASK_ALL) {
        wxLogDebug("parse_no_changeprocs: Unexpected input in this sort of file: %s", line.Left(200));
        return true;
    }

    while (p != end && is_space(*p))
        ++p;
    // A line ending (LF or CR LF) is never part of the value.
    wxString::const_iterator value_end = end;
    while (value_end != p && (*(value_end - 1) == '\n' || *(value_end - 1) == '\r'))
        --value_end;
    if (state().script_switch && *state().script_switch)
        while (value_end != p && is_space(*(value_end - 1)))
            --value_end;
    const wxString value(p, value_end);
    const bool ok = r->parse_proc_ ? r->parse_proc_(value) : r->parse_value_no_changeprocs(value);
    if (ok)
        r->needs_save_ = false;
    return ok;
}

bool base_res_t::write_out_to_file(wxOutputStream& stream, unsigned long mask)
{
    wxTextOutputStream out(stream, wxEOL_UNIX);
    for (base_res_t* r = state().all; r; r = r->next_) {
        if (!(r->flags_ & mask))
            continue;
        const bool ok = r->write_out_proc_ ? r->write_out_proc_(out) : r->write_out_value(out);
        if (!ok || !stream.IsOk()) {
            wxLogError("Error writing out resource: %s\n", wxString(r->name_));
            return false;
        }
        r->needs_save_ = false;
    }
    return true;
}

bool base_res_t::file_needs_save(unsigned long mask, wxString& text)
{
    bool marked[RESGROUP_COUNT] = {};
    bool any = false;
    for (base_res_t* r = state().all; r; r = r->next_)
        if ((r->flags_ & mask) && r->needs_save_ && r->group_ >= 0 && r->group_ < RESGROUP_COUNT)
            marked[r->group_] = true;
    // Miscellaneous changes alone never count as unsaved work.
    for (int g = 0; g < RESGROUP_MISC; ++g)
        if (marked[g]) {
            text << " - " << resgroup_name(g) << "\n";
            any = true;
        }
    return any;
}

void base_res_t::clear_needs_save(unsigned long mask)
{
    for (base_res_t* r = state().all; r; r = r->next_)
        if (r->flags_ & mask)
            r->needs_save_ = false;
}
