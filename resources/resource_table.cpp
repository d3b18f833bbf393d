#include "resource_table.h"

#include <string>

resource_t* res = nullptr;

#define KS_WSTR2(s) L##s
#define KS_WSTR(n) KS_WSTR2(#n)

namespace {
// Resource names must outlive the resources; the surface slot names are made once.
const std::array<std::wstring, resource_t::surface_slots>& surface_names()
{
    static const auto names = [] {
        std::array<std::wstring, resource_t::surface_slots> n;
        for (int i = 0; i < resource_t::surface_slots; ++i)
            n[static_cast<std::size_t>(i)] = L"RES_SURFACE" + std::to_wstring(i);
        return n;
    }();
    return names;
}
}  // namespace

template <typename R, typename... A>
R* resource_t::make(A&&... args)
{
    auto r = std::make_unique<R>(std::forward<A>(args)...);
    R* raw = r.get();
    owned_.push_back(std::move(r));
    return raw;
}

resource_t::resource_t()
{
    owned_.reserve(640);
#define KS_LONG(NAME, DEFAULT, FLAGS, GROUP) NAME = make<long_res_t>(std::int64_t(DEFAULT), KS_WSTR(NAME), FLAGS, GROUP);
#define KS_DOUBLE(NAME, DEFAULT, FLAGS, GROUP) NAME = make<double_res_t>(double(DEFAULT), KS_WSTR(NAME), FLAGS, GROUP);
#define KS_BOOL(NAME, DEFAULT, FLAGS, GROUP) NAME = make<bool_res_t>(bool(DEFAULT), KS_WSTR(NAME), FLAGS, GROUP);
#define KS_STRING(NAME, DEFAULT, FLAGS, GROUP) NAME = make<wxString_res_t>(wxString(DEFAULT), KS_WSTR(NAME), FLAGS, GROUP);
#define KS_FLAG(NAME, FLAGS, GROUP) NAME = make<flag_res_t>(KS_WSTR(NAME), FLAGS, GROUP);
#define KS_GEN(NAME, TYPE, FLAGS, GROUP) NAME = make<gen_res_t<TYPE>>(KS_WSTR(NAME), FLAGS, GROUP);
#define KS_GENFLAG(NAME, TYPE, FLAGS, GROUP) NAME = make<genflag_res_t<TYPE>>(KS_WSTR(NAME), FLAGS, GROUP);
#define KS_GENFLAG_KEYED(NAME, KEY, TYPE, FLAGS, GROUP) NAME = make<genflag_res_t<TYPE>>(L"" KEY, FLAGS, GROUP);
#include "resource_list.inc"
#undef KS_LONG
#undef KS_DOUBLE
#undef KS_BOOL
#undef KS_STRING
#undef KS_FLAG
#undef KS_GEN
#undef KS_GENFLAG
#undef KS_GENFLAG_KEYED

    const auto& names = surface_names();
    for (int i = 0; i < surface_slots; ++i)
        RES_SURFACE[static_cast<std::size_t>(i)] =
            make<gen_res_t<std::shared_ptr<surface_interp>>>(names[static_cast<std::size_t>(i)].c_str(), 0ul, 12);

    base_res_t::set_script_switch(&RES_IN_SCRIPT->value());
}

resource_t::~resource_t()
{
    base_res_t::set_script_switch(nullptr);
    // Newest first, so each unlinks from the head of the global lists.
    while (!owned_.empty())
        owned_.pop_back();
}
