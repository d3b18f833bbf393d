#include "typed_res.h"

#include <wx/confbase.h>

#include "value_text.h"

namespace {

bool parse(const wxString& text, std::int64_t* v) { return value_text::parse_long(text, v); }
bool parse(const wxString& text, double* v) { return value_text::parse_double(text, v); }
bool parse(const wxString& text, bool* v) { return value_text::parse_bool(text, v); }
bool parse(const wxString& text, wxString* v)
{
    *v = text;
    v->Trim(true).Trim(false);
    return true;
}

wxString line_text(std::int64_t v) { return wxString::Format("%lld", static_cast<long long>(v)); }
wxString line_text(double v) { return value_text::fixed6(v); }
wxString line_text(bool v) { return v ? wxS("true") : wxS("false"); }
wxString line_text(const wxString& v) { return v; }

// The settings file keeps doubles exactly and booleans as 1 or 0.
wxString setting_text(std::int64_t v) { return line_text(v); }
wxString setting_text(double v) { return value_text::round_trip(v); }
wxString setting_text(bool v) { return v ? wxS("1") : wxS("0"); }
wxString setting_text(const wxString& v) { return v; }

}  // namespace

template <typename T>
basic_res_t<T>::basic_res_t(const T& initial, const wchar_t* name, unsigned long flags, int group)
    : compared_res_t<T>(initial, name, flags, group)
{
    wxConfigBase* store = base_res_t::settings_store();
    if (!(flags & RES_FLAG_SETTINGS) || !store)
        return;
    const wxString key(name);
    wxString stored;
    if (store->Read(key, &stored)) {
        T v;
        if (parse(stored, &v))
            this->value_ = this->pending_ = this->previous_ = this->kept_ = v;
        else
            wxLogWarning("Settings file value of %s is not valid (\"%s\"); using the default.", key, stored);
    }
    store->Write(key, base_res_t::sanitised(setting_text(this->value_)));
}

template <typename T>
bool basic_res_t<T>::parse_value_no_changeprocs(const wxString& text)
{
    T v;
    if (!parse(text, &v))
        return false;
    this->set_parsed(v);
    return true;
}

template <typename T>
wxString basic_res_t<T>::get_value_as_string() const
{
    return line_text(this->value_);
}

template <typename T>
bool basic_res_t<T>::write_out_value(wxTextOutputStream& out) const
{
    out.WriteString(wxString(this->name()) + " " + base_res_t::sanitised(line_text(this->value_)) + "\n");
    return true;
}

template <typename T>
bool basic_res_t<T>::store_setting()
{
    if (!(this->flags() & RES_FLAG_SETTINGS))
        return false;
    if (wxConfigBase* store = base_res_t::settings_store())
        store->Write(wxString(this->name()), base_res_t::sanitised(setting_text(this->value_)));
    return true;
}

template class basic_res_t<std::int64_t>;
template class basic_res_t<double>;
template class basic_res_t<bool>;
template class basic_res_t<wxString>;
