#include "app/security/failure_counter.h"

namespace kv {

namespace {

bool ResetsCount(PasswordOutcome outcome) {
    return outcome == PasswordOutcome::Accepted || outcome == PasswordOutcome::Corrupted ||
           outcome == PasswordOutcome::FormatRepaired;
}

} // namespace

CounterVerdict FailureCounter::Record(PasswordOutcome outcome) {
    switch (rules_) {
    case CounterRules::MainWindow:
    case CounterRules::CheckDialog:
        if (ResetsCount(outcome)) {
            count_ = 0;
            return CounterVerdict::NotCounted;
        }
        if (outcome == PasswordOutcome::Wrong) {
            ++count_;
            return count_ >= kLimit ? CounterVerdict::LimitReached : CounterVerdict::Counted;
        }
        // The main window also gives up when the device stops answering after two failures.
        if (rules_ == CounterRules::MainWindow && outcome == PasswordOutcome::NoReason &&
            count_ >= kLimit - 1)
            return CounterVerdict::LimitReached;
        return CounterVerdict::NotCounted;
    case CounterRules::GateDialog:
        if (outcome == PasswordOutcome::Accepted) return CounterVerdict::NotCounted;
        ++count_;
        return count_ >= kLimit ? CounterVerdict::LimitReached : CounterVerdict::Counted;
    }
    return CounterVerdict::NotCounted;
}

} // namespace kv
