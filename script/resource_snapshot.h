// The values a script run starts from, to go back to: before each file every
// value a recording carries (so no file inherits what the one before left),
// and at the end the settings, template values and the user's kept values a
// script changed. Covers every resource a script can set; the frames' count,
// size and kind follow the data and are never put back.
#pragma once

#include <memory>
#include <vector>

class resource_snapshot_t {
public:
    resource_snapshot_t();
    ~resource_snapshot_t();
    resource_snapshot_t(const resource_snapshot_t&) = delete;
    resource_snapshot_t& operator=(const resource_snapshot_t&) = delete;

    void take();
    void clear();
    bool empty() const { return entries_.empty(); }

    // Values and kept values as taken, as one quiet change pass (no unsaved
    // marks, no settings written), and the settings store's texts as taken.
    void restore_all() const;
    // As restore_all, except that the values of the recording held stay as
    // they are now: only its kept values return.
    void restore_settings_and_kept() const;

private:
    struct entry_t;
    template <typename T>
    struct typed_entry_t;
    template <typename T>
    bool try_take(class base_res_t* r);
    void restore(bool recording_values) const;

    std::vector<std::unique_ptr<entry_t>> entries_;
};
