// Simulated devices by name, for tests and for kestrane-devsim.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "simulators/device_sim.h"
#include "simulators/sim_options.h"

struct sim_kind_t {
    const char* name;         // as given on the command line
    const char* description;  // for help texts
};

// Every kind a user may ask for, whether or not this build simulates it.
const std::vector<sim_kind_t>& device_sim_kinds();

// The simulator of a kind, or null for a kind that is unknown or not built.
std::unique_ptr<device_sim_t> make_device_sim(const std::string& kind, const sim_options_t& options);
