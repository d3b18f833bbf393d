#include "resource_snapshot.h"

#include <functional>
#include <vector>

#include <wx/confbase.h>

#include "resource_rules.h"
#include "resources/resource_table.h"

struct resource_snapshot_t::entry_t {
    base_res_t* resource = nullptr;
    bool needs_save = false;
    bool stored = false;  // the settings store held a text for it
    wxString stored_text;

    virtual ~entry_t() = default;
    virtual bool value_differs() const = 0;
    virtual bool kept_differs() const = 0;
    virtual void write_value() const = 0;
    virtual void write_kept_as_value() const = 0;
    // Puts the value the resource has now back when called.
    virtual std::function<void()> value_now() const = 0;
};

template <typename T>
struct resource_snapshot_t::typed_entry_t final : entry_t {
    compared_res_t<T>* typed = nullptr;
    T value{}, kept{};

    bool value_differs() const override { return !(typed->value() == value); }
    bool kept_differs() const override { return !(typed->kept() == kept); }
    void write_value() const override { typed->write_no_changeprocs(value); }
    void write_kept_as_value() const override { typed->write_no_changeprocs(kept); }
    std::function<void()> value_now() const override
    {
        return [t = typed, now = typed->value()] { t->write_no_changeprocs(now); };
    }
};

resource_snapshot_t::resource_snapshot_t() = default;
resource_snapshot_t::~resource_snapshot_t() = default;

template <typename T>
bool resource_snapshot_t::try_take(base_res_t* r)
{
    auto* typed = dynamic_cast<compared_res_t<T>*>(r);
    if (!typed)
        return false;
    auto e = std::make_unique<typed_entry_t<T>>();
    e->resource = r;
    e->typed = typed;
    e->value = typed->value();
    e->kept = typed->kept();
    e->needs_save = r->needs_save();
    if (wxConfigBase* store = base_res_t::settings_store(); store && (r->flags() & RES_FLAG_SETTINGS))
        e->stored = store->Read(wxString(r->name()), &e->stored_text);
    entries_.push_back(std::move(e));
    return true;
}

namespace {

// Which resources, in the table's fixed order, a snapshot keeps. Every table
// holds the same resources in the same order, so this is worked out once: a
// batch process takes a snapshot for every recording it runs.
const std::vector<char>& kept_in_order()
{
    static std::vector<char> kept;
    std::size_t count = 0;
    for (base_res_t* r = base_res_t::first_resource(); r; r = r->next_resource())
        ++count;
    if (kept.size() == count)
        return kept;
    kept.clear();  // a table of another make: work it out again
    constexpr unsigned long kept_by_files = RES_MASK_RECORDING | RES_MASK_TEMPLATE | RES_FLAG_SETTINGS;
    for (base_res_t* r = base_res_t::first_resource(); r; r = r->next_resource())
        kept.push_back((r->flags() & kept_by_files) && !is_frame_geometry(*r) && param_refusal(*r).empty());
    return kept;
}

}  // namespace

void resource_snapshot_t::take()
{
    entries_.clear();
    const std::vector<char>& kept = kept_in_order();
    std::size_t i = 0;
    for (base_res_t* r = base_res_t::first_resource(); r; r = r->next_resource(), ++i) {
        if (i >= kept.size() || !kept[i])
            continue;
        // The kinds a script line can set; the rest are data a file's line procedures own.
        try_take<std::int64_t>(r) || try_take<double>(r) || try_take<bool>(r) || try_take<wxString>(r) ||
            try_take<pos_detect_t>(r) || try_take<polaris_port_t>(r) || try_take<video_standard_t>(r);
    }
}

void resource_snapshot_t::clear()
{
    entries_.clear();
}

void resource_snapshot_t::restore_all() const
{
    restore(true);
}

void resource_snapshot_t::restore_settings_and_kept() const
{
    restore(false);
}

void resource_snapshot_t::restore(bool recording_values) const
{
    // Loading mode: the values change without becoming the user's kept values,
    // without unsaved marks and without settings written; the store gets its
    // own texts back below.
    const bool was_loading = base_res_t::loading_file();
    base_res_t::set_loading_file(true);

    // A kept value is set by making it the value and keeping that.
    std::vector<const entry_t*> kept_changed;
    for (const auto& e : entries_)
        if (e->resource->has_kept_value() && e->kept_differs())
            kept_changed.push_back(e.get());
    std::vector<std::function<void()>> values_held;
    if (!kept_changed.empty()) {
        for (const entry_t* e : kept_changed) {
            if (!recording_values && (e->resource->flags() & RES_MASK_RECORDING))
                values_held.push_back(e->value_now());
            e->write_kept_as_value();
        }
        base_res_t::make_pending_writes_happen();
        for (const entry_t* e : kept_changed)
            e->resource->cancel_kept_value();
    }

    std::vector<const entry_t*> back;
    for (const auto& e : entries_) {
        const bool recording = e->resource->flags() & RES_MASK_RECORDING;
        if (recording && !recording_values)
            continue;
        back.push_back(e.get());
        if (e->value_differs())
            e->write_value();
    }
    // The values of the recording held, where only their kept values were put back.
    for (const auto& put_back : values_held)
        put_back();
    base_res_t::make_pending_writes_happen();
    base_res_t::set_loading_file(was_loading);

    for (const entry_t* e : back)
        e->resource->set_needs_save(e->needs_save);
    if (wxConfigBase* store = base_res_t::settings_store())
        for (const auto& e : entries_) {
            if (!e->stored)
                continue;
            const wxString key(e->resource->name());
            wxString now;
            if (!store->Read(key, &now) || now != e->stored_text)
                store->Write(key, e->stored_text);
        }
}
