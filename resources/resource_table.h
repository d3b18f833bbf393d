// The table of every named setting and event, built once at start-up and
// reached through the global `res`. Construction order matters: files list
// their resources in the reverse of it.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "resource_value_types.h"
#include "typed_res.h"

class resource_t {
public:
    static constexpr int surface_slots = 201;

    // Settings resources read their values from base_res_t::settings_store().
    resource_t();
    ~resource_t();
    resource_t(const resource_t&) = delete;
    resource_t& operator=(const resource_t&) = delete;

#define KS_LONG(NAME, DEFAULT, FLAGS, GROUP) long_res_t* NAME;
#define KS_DOUBLE(NAME, DEFAULT, FLAGS, GROUP) double_res_t* NAME;
#define KS_BOOL(NAME, DEFAULT, FLAGS, GROUP) bool_res_t* NAME;
#define KS_STRING(NAME, DEFAULT, FLAGS, GROUP) wxString_res_t* NAME;
#define KS_FLAG(NAME, FLAGS, GROUP) flag_res_t* NAME;
#define KS_GEN(NAME, TYPE, FLAGS, GROUP) gen_res_t<TYPE>* NAME;
#define KS_GENFLAG(NAME, TYPE, FLAGS, GROUP) genflag_res_t<TYPE>* NAME;
#define KS_GENFLAG_KEYED(NAME, KEY, TYPE, FLAGS, GROUP) genflag_res_t<TYPE>* NAME;
#include "resource_list.inc"
#undef KS_LONG
#undef KS_DOUBLE
#undef KS_BOOL
#undef KS_STRING
#undef KS_FLAG
#undef KS_GEN
#undef KS_GENFLAG
#undef KS_GENFLAG_KEYED

    // Run-time slots for the surfaces built from objects, RES_SURFACE0..200.
    std::array<gen_res_t<std::shared_ptr<surface_interp>>*, surface_slots> RES_SURFACE{};

    std::size_t size() const { return owned_.size(); }

private:
    template <typename R, typename... A>
    R* make(A&&... args);
    std::vector<std::unique_ptr<base_res_t>> owned_;
};

extern resource_t* res;
