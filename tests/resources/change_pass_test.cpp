// The change pass: who is called, how often, in which order, and what
// survives removal, cancellation and writes from inside procedures.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "resources/typed_res.h"
#include "support/log_capture.h"

namespace {

// A procedure that records its calls and can run extra work when called.
struct probe_t {
    probe_t(std::string n, std::vector<std::string>* j) : name(std::move(n)), journal(j) {}
    std::string name;
    std::vector<std::string>* journal;
    std::function<void()> action;
    pmf_functor<probe_t> functor{this, &probe_t::run};
    int calls = 0;
    void run()
    {
        ++calls;
        journal->push_back(name);
        if (action)
            action();
    }
};

// A procedure's owner that counts calls, for functors deleted while registered.
struct counter_t {
    int calls = 0;
    void run() { ++calls; }
};

class ChangePass : public ::testing::Test {
protected:
    std::vector<std::string> journal;
    long_res_t a{0, L"TEST_A", 0, RESGROUP_MISC};
    long_res_t b{0, L"TEST_B", 0, RESGROUP_MISC};
    double_res_t c{0.0, L"TEST_C", 0, RESGROUP_MISC};
    probe_t p{"p", &journal};
    probe_t q{"q", &journal};
    probe_t r{"r", &journal};
};

// A procedure on several changed resources runs once per pass (or views
// redraw twice), and procedures run in the order they were queued.
TEST_F(ChangePass, ProceduresRunOnceInQueueOrder)
{
    a.read(&q.functor);
    b.read(&p.functor);
    b.read(&r.functor);  // b's list is r, p (newest first)
    c.read(&p.functor);
    a.write_no_changeprocs(1);
    b.write_no_changeprocs(2);
    c.write_no_changeprocs(3);
    base_res_t::make_pending_writes_happen();
    EXPECT_EQ(journal, (std::vector<std::string>{"q", "r", "p"}));
    EXPECT_EQ(b.value(), 2);
    EXPECT_EQ(c.value(), 3.0);
}

// Writing the same value queues nothing (idle ticks must not redraw
// everything), but every write of an event or uncomparable value is a change.
TEST_F(ChangePass, WhatCountsAsAChange)
{
    a.read(&p.functor);
    a.write(0);
    EXPECT_EQ(p.calls, 0);
    a.write(5);
    a.write(5);
    EXPECT_EQ(p.calls, 1);

    flag_res_t tick(L"TEST_TICK", 0, RESGROUP_MISC);
    genflag_res_t<std::vector<int>> v(L"TEST_VEC", 0, RESGROUP_MISC);
    tick.read(&q.functor);
    v.read(&r.functor);
    tick.write();
    tick.write();
    v.write({1, 2});
    v.write({1, 2});
    EXPECT_EQ(q.calls, 2);
    EXPECT_EQ(tick.value(), 2);
    EXPECT_EQ(r.calls, 2);
    EXPECT_EQ(v.value(), (std::vector<int>{1, 2}));
}

// A write inside a procedure runs the other resource's procedures later in the same pass.
TEST_F(ChangePass, WriteInsideProcedureCascadesInSamePass)
{
    a.read(&p.functor);
    b.read(&q.functor);
    b.read(&r.functor);
    int b_seen_by_q = -1;
    p.action = [&] { b.write(a.value() * 10); };
    q.action = [&] { b_seen_by_q = static_cast<int>(b.value()); };
    a.write(3);
    EXPECT_EQ(journal, (std::vector<std::string>{"p", "r", "q"}));
    EXPECT_EQ(b_seen_by_q, 30);
    EXPECT_EQ(q.calls, 1);
}

// The changed flag and previous value are what change procedures rely on; a
// write restored before the pass still runs them but shows no change.
TEST_F(ChangePass, ChangedFlagAndPreviousValueDuringPass)
{
    bool a_changed = false, b_changed = true;
    std::int64_t previous = -1;
    p.action = [&] {
        a_changed = a.changed();
        b_changed = b.changed();
        previous = a.previous();
    };
    a.read(&p.functor);
    b.read(&p.functor);
    a.write(4);
    EXPECT_TRUE(a_changed);
    EXPECT_FALSE(b_changed);
    EXPECT_EQ(previous, 0);
    EXPECT_FALSE(a.changed()) << "flags are cleared after the pass";
    a.write_no_changeprocs(7);
    a.write_no_changeprocs(4);
    base_res_t::make_pending_writes_happen();
    EXPECT_EQ(p.calls, 2);
    EXPECT_FALSE(a_changed);
    EXPECT_EQ(a.value(), 4);
}

// Removing a queued procedure during the pass, or a procedure removing
// itself: the removed one is not called again, and the walk goes on.
TEST_F(ChangePass, RemovalDuringPassSkipsRemovedAndKeepsWalking)
{
    a.read(&r.functor);
    a.read(&q.functor);
    a.read(&p.functor);  // list: p, q, r
    p.action = [&] { a.remove_worry(&q.functor); };
    a.write(1);
    EXPECT_EQ(journal, (std::vector<std::string>{"p", "r"}));
    EXPECT_EQ(a.read_worrylist_length(), 2);
    p.action = [&] { a.remove_worry(&p.functor); };
    a.write(2);
    a.write(3);
    EXPECT_EQ(q.calls, 0);
    EXPECT_EQ(p.calls, 2);
    EXPECT_EQ(r.calls, 3);
}

// Removing a procedure between the write and the pass: it is not called and nothing dangles.
TEST_F(ChangePass, RemovalBetweenWriteAndPass)
{
    a.read(&p.functor);
    a.read(&q.functor);
    a.write_no_changeprocs(1);
    a.remove_worry(&p.functor);
    base_res_t::make_pending_writes_happen();
    EXPECT_EQ(p.calls, 0);
    EXPECT_EQ(q.calls, 1);
}

// A write left unimplemented inside a procedure is reported and dropped.
TEST_F(ChangePass, UnimplementedWriteIsReportedAndDropped)
{
    log_capture log;
    p.action = [&] { b.write_no_changeprocs(42); };
    a.read(&p.functor);
    b.read(&q.functor);
    a.write(1);
    EXPECT_TRUE(log.contains("TEST_B", wxLOG_Debug));
    EXPECT_EQ(b.value(), 0);
    // The dropped write does not leave the resource stuck: a later write works.
    b.write(42);
    EXPECT_EQ(b.value(), 42);
}

// A write with write_no_changeprocs inside a procedure followed by a nested pass is not an error.
TEST_F(ChangePass, NestedPassImplementsValuesWithoutCallingProcedures)
{
    log_capture log;
    std::int64_t b_inside = -1;
    p.action = [&] {
        b.write_no_changeprocs(5);
        base_res_t::make_pending_writes_happen();
        b_inside = b.value();
        EXPECT_EQ(q.calls, 0) << "only the outermost pass calls procedures";
    };
    a.read(&p.functor);
    b.read(&q.functor);
    a.write(1);
    EXPECT_EQ(b_inside, 5);
    EXPECT_EQ(q.calls, 1);
    EXPECT_FALSE(log.contains("PROBLEM IN RESOURCE MANAGER"));
}

// Postponed writes wait for one pass at the end, as file reading needs;
// cancelling abandons every pending value: a failed read leaves nothing half-loaded.
TEST_F(ChangePass, PostponedWritesAndCancellation)
{
    a.read(&p.functor);
    b.read(&p.functor);
    base_res_t::set_postpone_writes(true);
    a.write(1);
    b.write(2);
    EXPECT_EQ(p.calls, 0);
    EXPECT_EQ(a.value(), 0);
    base_res_t::set_postpone_writes(false);
    base_res_t::make_pending_writes_happen();
    EXPECT_EQ(p.calls, 1);
    EXPECT_EQ(a.value(), 1);

    base_res_t::set_postpone_writes(true);
    a.write(5);
    c.write(2.5);
    base_res_t::set_postpone_writes(false);
    base_res_t::cancel_all_pending_changes();
    base_res_t::make_pending_writes_happen();
    EXPECT_EQ(p.calls, 1);
    EXPECT_EQ(a.value(), 1);
    EXPECT_EQ(c.value(), 0.0);
    a.write(6);  // and nothing is stuck as queued
    EXPECT_EQ(p.calls, 2);
}

// Watchers hear about every change of the worry count until they unregister.
TEST_F(ChangePass, WatchersFollowWorryListLength)
{
    std::vector<long> lengths;
    struct watcher_owner_t {
        long_res_t* res;
        std::vector<long>* lengths;
        void run() { lengths->push_back(res->read_worrylist_length()); }
    } owner{&a, &lengths};
    pmf_functor<watcher_owner_t> watcher(&owner, &watcher_owner_t::run);
    EXPECT_EQ(a.read_worrylist_length(&watcher), 0);
    a.read(&p.functor);
    a.read(&p.functor);  // already there: no change, no call
    a.read(&q.functor);
    a.remove_worry(&p.functor);
    EXPECT_EQ(lengths, (std::vector<long>{1, 2, 1}));

    a.remove_worrylist_length_worry(&watcher);
    a.read(&r.functor);
    EXPECT_EQ(lengths.size(), 3u);
}

}  // namespace
