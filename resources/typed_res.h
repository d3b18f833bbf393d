// The typed resource classes. Every value is held four times: the current
// value, the pending value (written, not yet implemented), the previous value
// (before the last implemented change) and the kept value (the user's own,
// which survives loading a recording).
#pragma once

#include <cstdint>

#include <wx/filename.h>
#include <wx/log.h>
#include <wx/txtstrm.h>

#include "base_res.h"

template <typename T>
class compared_res_t : public base_res_t {
public:
    compared_res_t(const T& initial, const wchar_t* name, unsigned long flags, int group)
        : base_res_t(name, flags, group), value_(initial), pending_(initial), previous_(initial), kept_(initial),
          default_(initial)
    {
    }

    // Returns the value and registers f (if any) to run when it changes.
    const T& read(base_functor* f = nullptr)
    {
        add_proc(f);
        return value_;
    }
    const T& value() const { return value_; }
    const T& pending() const { return pending_; }
    const T& previous() const { return previous_; }
    const T& kept() const { return kept_; }

    void write(const T& v)
    {
        write_no_changeprocs(v);
        make_pending_writes_happen();
    }
    void write_no_changeprocs(const T& v)
    {
        note_written();
        if (!same(v, value_) || !same(v, pending_)) {
            pending_ = v;
            assemble_worry_list();
        }
    }

    bool implement_change() override
    {
        previous_ = value_;
        if (same(value_, pending_))
            return false;
        value_ = pending_;
        if (loading_file())
            return true;
        if (has_kept_value())
            kept_ = value_;
        if (!store_setting())
            set_needs_save(true);
        return true;
    }
    void cancel_pending_change() override { pending_ = value_; }
    void restore_kept_value() override { write_no_changeprocs(kept_); }
    void cancel_kept_value() override { kept_ = value_; }
    void restore_default_value() override { write_no_changeprocs(default_); }

protected:
    // Writes the value to the settings store; true when it belongs there.
    virtual bool store_setting() { return false; }
    static bool same(const T& a, const T& b) { return a == b; }

    // Parsers store their result as the pending value without a pass.
    void set_parsed(const T& v) { write_no_changeprocs(v); }

    T value_, pending_, previous_, kept_;
    const T default_;
};

// Integers, floating-point numbers, booleans and strings: the types with a
// text form, which may also live in the settings file.
template <typename T>
class basic_res_t : public compared_res_t<T> {
public:
    basic_res_t(const T& initial, const wchar_t* name, unsigned long flags, int group);

    bool parse_value_no_changeprocs(const wxString& text) override;
    wxString get_value_as_string() const override;
    bool write_out_value(wxTextOutputStream& out) const override;

protected:
    bool store_setting() override;
};

class long_res_t final : public basic_res_t<std::int64_t> {
    using basic_res_t::basic_res_t;
};
class double_res_t final : public basic_res_t<double> {
    using basic_res_t::basic_res_t;
};
class bool_res_t final : public basic_res_t<bool> {
    using basic_res_t::basic_res_t;
};
class wxString_res_t final : public basic_res_t<wxString> {
    using basic_res_t::basic_res_t;
};

extern template class basic_res_t<std::int64_t>;
extern template class basic_res_t<double>;
extern template class basic_res_t<bool>;
extern template class basic_res_t<wxString>;

// Values of a type of their own, compared on change. They have no text form:
// files read and write them only through parse and write-out procedures.
template <typename T>
class gen_res_t final : public compared_res_t<T> {
public:
    using compared_res_t<T>::compared_res_t;
    gen_res_t(const wchar_t* name, unsigned long flags, int group) : compared_res_t<T>(T{}, name, flags, group) {}

    bool has_text_form() const override { return false; }
    bool parse_value_no_changeprocs(const wxString&) override
    {
        wxLogError("Use of the parse_value_no_changeprocs in a template resource.\n");
        return false;
    }
    wxString get_value_as_string() const override
    {
        wxLogError("Use of the get_value_as_string in a template resource.\n");
        return {};
    }
    bool write_out_value(wxTextOutputStream&) const override
    {
        wxLogError("Use of the write_out_value in a template resource: %s\n", wxString(this->name()));
        return false;
    }
};

// Values that cannot be compared: every write is a change.
template <typename T>
class genflag_res_t final : public base_res_t {
public:
    genflag_res_t(const wchar_t* name, unsigned long flags, int group) : base_res_t(name, flags, group) {}

    const T& read(base_functor* f = nullptr)
    {
        add_proc(f);
        return value_;
    }
    const T& value() const { return value_; }
    const T& pending() const { return pending_; }
    const T& previous() const { return previous_; }

    void write(const T& v)
    {
        write_no_changeprocs(v);
        make_pending_writes_happen();
    }
    void write_no_changeprocs(const T& v)
    {
        note_written();
        pending_ = v;
        assemble_worry_list();
    }

    bool implement_change() override
    {
        previous_ = value_;
        value_ = pending_;
        if (!loading_file()) {
            if (has_kept_value())
                kept_ = value_;
            set_needs_save(true);
        }
        return true;
    }
    void cancel_pending_change() override { pending_ = value_; }
    void restore_kept_value() override { write_no_changeprocs(kept_); }
    void cancel_kept_value() override { kept_ = value_; }

    bool has_text_form() const override { return false; }
    bool parse_value_no_changeprocs(const wxString&) override
    {
        wxLogError("Use of the parse_value_no_changeprocs in a template flag resource.\n");
        return false;
    }
    wxString get_value_as_string() const override
    {
        wxLogError("Use of the get_value_as_string in a template flag resource.\n");
        return {};
    }
    bool write_out_value(wxTextOutputStream&) const override
    {
        wxLogError("Use of the write_out_value in a template flag resource: %s\n", wxString(this->name()));
        return false;
    }

private:
    T value_{}, pending_{}, previous_{}, kept_{};
};

// An event: a counter whose every write is a change. Written to a file it is
// its name alone (the end-of-header line); data lines use write-out procedures.
class flag_res_t final : public base_res_t {
public:
    flag_res_t(const wchar_t* name, unsigned long flags, int group) : base_res_t(name, flags, group) {}

    long read(base_functor* f = nullptr)
    {
        add_proc(f);
        return counter_;
    }
    long value() const { return counter_; }
    void write_no_changeprocs()
    {
        ++counter_;
        note_written();
        assemble_worry_list();
    }
    void write()
    {
        write_no_changeprocs();
        make_pending_writes_happen();
    }

    bool implement_change() override
    {
        set_needs_save(true);
        return true;
    }
    bool parse_value_no_changeprocs(const wxString&) override
    {
        write_no_changeprocs();
        return true;
    }
    wxString get_value_as_string() const override { return wxString::Format("%ld", counter_); }
    bool write_out_value(wxTextOutputStream& out) const override
    {
        out.WriteString(wxString(name()) + "\n");
        return true;
    }
    void cancel_pending_change() override {}
    void restore_kept_value() override {}
    void cancel_kept_value() override {}

private:
    long counter_ = 0;
};
