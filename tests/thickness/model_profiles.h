// Profiles made from the cortex model, with noise when asked, for the fit tests.
#pragma once

#include <random>

#include "thickness/profile_fit.h"

inline profile_t profile_of(const cortex_t& m, int n, double noise = 0.0, unsigned seed = 1)
{
    profile_t p;
    p.values.resize(std::size_t(n));
    cortex_profile(m, p.values);
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0.0, noise);
    if (noise > 0.0)
        for (double& v : p.values)
            v += g(rng);
    p.valid.assign(std::size_t(n), 1);
    return p;
}

// Soft tissue 0 HU, cortex 1600 HU from sample 12.3 to 22.8, trabecular bone 200 HU.
inline cortex_t shell(double sigma)
{
    cortex_t m;
    m.a = 0.0;
    m.b = 1600.0;
    m.c = 200.0;
    m.outer = 12.3;
    m.inner = 22.8;
    m.sigma = sigma;
    return m;
}
