#include "functor.h"

#include <algorithm>

base_functor::~base_functor()
{
    // Each holder removes itself from holders_ through drop_holder, so work on a copy.
    const std::vector<functor_holder_t*> holders = holders_;
    for (functor_holder_t* h : holders)
        h->forget_functor(this);
}

void base_functor::note_holder(functor_holder_t* h)
{
    if (std::find(holders_.begin(), holders_.end(), h) == holders_.end())
        holders_.push_back(h);
}

void base_functor::drop_holder(functor_holder_t* h)
{
    auto it = std::find(holders_.begin(), holders_.end(), h);
    if (it != holders_.end())
        holders_.erase(it);
}
