#include "simulators/sim_factory.h"

#include "simulators/ascension_sim.h"
#include "simulators/polaris_sim.h"
#include "simulators/polhemus_sim.h"
#include "simulators/swept_motor_sim.h"
#include "simulators/zaber_sim.h"

const std::vector<sim_kind_t>& device_sim_kinds()
{
    static const std::vector<sim_kind_t> kinds = {
        {"fastrak", "Polhemus Fastrak"},
        {"liberty", "Polhemus Liberty"},
        {"patriot", "Polhemus Patriot"},
        {"flock", "Ascension Flock of Birds"},
        {"mini", "Ascension MiniBird"},
        {"laser", "Ascension LaserBird"},
        {"trakstar", "Ascension trakSTAR"},
        {"polaris-old", "NDI Polaris, original command set"},
        {"polaris-new", "NDI Polaris, newer command set"},
        {"zaber", "Zaber linear slides, 1 to 3 daisy-chained (a motorised gantry)"},
        {"swept-motor", "the motor controller of a mechanically swept probe"},
    };
    return kinds;
}

std::unique_ptr<device_sim_t> make_device_sim(const std::string& kind, const sim_options_t& options)
{
    if (kind == "fastrak")
        return std::make_unique<fastrak_sim_t>(options);
    if (kind == "liberty" || kind == "patriot")
        return std::make_unique<liberty_sim_t>(options, kind == "patriot");
    if (kind == "flock")
        return std::make_unique<ascension_sim_t>(ascension_model_t::flock, options);
    if (kind == "mini")
        return std::make_unique<ascension_sim_t>(ascension_model_t::mini, options);
    if (kind == "laser")
        return std::make_unique<ascension_sim_t>(ascension_model_t::laser, options);
    if (kind == "trakstar")
        return std::make_unique<ascension_sim_t>(ascension_model_t::trakstar, options);
    if (kind == "polaris-old" || kind == "polaris-new")
        return std::make_unique<polaris_sim_t>(options, kind == "polaris-new");
    if (kind == "zaber")
        return std::make_unique<zaber_sim_t>(options.zaber);
    if (kind == "swept-motor")
        return std::make_unique<swept_motor_sim_t>(options.swept_motor);
    return nullptr;
}
