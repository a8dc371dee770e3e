#include "app/security/failure_counter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace kv;
using O = PasswordOutcome;
using V = CounterVerdict;

struct Step {
    O outcome;
    V verdict;
    int count; // after the step
};

struct Sequence {
    const char* what;
    CounterRules rules;
    std::vector<Step> steps;
};

void PrintTo(const Sequence& s, std::ostream* os) {
    *os << s.what;
}

class FailureCounterTest : public ::testing::TestWithParam<Sequence> {};

TEST_P(FailureCounterTest, FollowsItsRules) {
    const Sequence& s = GetParam();
    FailureCounter counter(s.rules);
    int n = 0;
    for (const Step& step : s.steps) {
        ++n;
        EXPECT_EQ(counter.Record(step.outcome), step.verdict)
            << s.what << ", step " << n << " (" << ToString(step.outcome) << ")";
        EXPECT_EQ(counter.Count(), step.count) << s.what << ", step " << n;
    }
}

const CounterRules Main = CounterRules::MainWindow;
const CounterRules Check = CounterRules::CheckDialog;
const CounterRules Gate = CounterRules::GateDialog;

INSTANTIATE_TEST_SUITE_P(
    Sequences, FailureCounterTest,
    ::testing::Values(Sequence{"main: the third wrong password ends it",
                               Main,
                               {{O::Wrong, V::Counted, 1},
                                {O::Wrong, V::Counted, 2},
                                {O::Wrong, V::LimitReached, 3}}},
                      Sequence{"main: accepted, corrupted and repaired start again",
                               Main,
                               {{O::Wrong, V::Counted, 1},
                                {O::Wrong, V::Counted, 2},
                                {O::Accepted, V::NotCounted, 0},
                                {O::Wrong, V::Counted, 1},
                                {O::Wrong, V::Counted, 2},
                                {O::Corrupted, V::NotCounted, 0},
                                {O::Wrong, V::Counted, 1},
                                {O::FormatRepaired, V::NotCounted, 0},
                                {O::Wrong, V::Counted, 1}}},
                      Sequence{"main: other outcomes leave the count",
                               Main,
                               {{O::Wrong, V::Counted, 1},
                                {O::RepairFailed, V::NotCounted, 1},
                                {O::UnknownReason, V::NotCounted, 1},
                                {O::NoReason, V::NotCounted, 1},
                                {O::Wrong, V::Counted, 2}}},
                      Sequence{"main: no reason at 2 ends it",
                               Main,
                               {{O::Wrong, V::Counted, 1},
                                {O::Wrong, V::Counted, 2},
                                {O::NoReason, V::LimitReached, 2}}},
                      Sequence{"main: no reason below 2 does not",
                               Main,
                               {{O::NoReason, V::NotCounted, 0},
                                {O::Wrong, V::Counted, 1},
                                {O::NoReason, V::NotCounted, 1}}},
                      Sequence{"check: from 3 on every wrong password is at the limit",
                               Check,
                               {{O::Wrong, V::Counted, 1},
                                {O::Wrong, V::Counted, 2},
                                {O::Wrong, V::LimitReached, 3},
                                {O::Wrong, V::LimitReached, 4},
                                {O::Accepted, V::NotCounted, 0},
                                {O::Wrong, V::Counted, 1}}},
                      Sequence{"check: no reason never ends it",
                               Check,
                               {{O::Wrong, V::Counted, 1},
                                {O::Wrong, V::Counted, 2},
                                {O::NoReason, V::NotCounted, 2}}},
                      Sequence{"check: corrupted and repaired start again",
                               Check,
                               {{O::Wrong, V::Counted, 1},
                                {O::Corrupted, V::NotCounted, 0},
                                {O::Wrong, V::Counted, 1},
                                {O::FormatRepaired, V::NotCounted, 0},
                                {O::UnknownReason, V::NotCounted, 0}}},
                      Sequence{"gate: every refusal counts, the third ends it",
                               Gate,
                               {{O::Wrong, V::Counted, 1},
                                {O::NoReason, V::Counted, 2},
                                {O::Wrong, V::LimitReached, 3}}},
                      Sequence{"gate: acceptance does not reset",
                               Gate,
                               {{O::Wrong, V::Counted, 1},
                                {O::Accepted, V::NotCounted, 1},
                                {O::Wrong, V::Counted, 2}}}),
    [](const auto& info) { return "seq" + std::to_string(info.index); });

TEST(FailureCounter, ResetWhenShownStartsAgain) {
    for (CounterRules rules : {Main, Check, Gate}) {
        FailureCounter counter(rules);
        counter.Record(O::Wrong);
        counter.Record(O::Wrong);
        counter.Reset();
        EXPECT_EQ(counter.Count(), 0);
        EXPECT_EQ(counter.Record(O::Wrong), V::Counted);
        EXPECT_EQ(counter.Record(O::Wrong), V::Counted);
        EXPECT_EQ(counter.Record(O::Wrong), V::LimitReached);
    }
}

} // namespace
