// Procedures that the resource table calls when a value they depend on changes.
// A functor remembers where it is registered, so deleting one that is still
// registered unhooks it first and it can never be called afterwards.
#pragma once

#include <cstdint>
#include <vector>

class base_functor;

// Anything that keeps pointers to functors (a resource's worry or watcher list)
// implements this so a dying functor can take itself off.
class functor_holder_t {
public:
    virtual void forget_functor(base_functor* f) = 0;

protected:
    ~functor_holder_t() = default;
};

class base_functor {
public:
    base_functor() = default;
    base_functor(const base_functor&) = delete;
    base_functor& operator=(const base_functor&) = delete;
    virtual void call() = 0;
    virtual ~base_functor();

    // Bookkeeping for holders; not for general use.
    void note_holder(functor_holder_t* h);
    void drop_holder(functor_holder_t* h);
    std::uint64_t list_mark = 0;  // generation of the call list this functor was last put on

private:
    std::vector<functor_holder_t*> holders_;
};

// A procedure bound to one object and one of its member functions.
template <class T>
class pmf_functor final : public base_functor {
public:
    using member_t = void (T::*)();
    pmf_functor(T* object, member_t member) : object_(object), member_(member) {}
    void call() override { (object_->*member_)(); }

private:
    T* object_;
    member_t member_;
};
