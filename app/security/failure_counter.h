// Counting wrong passwords in a window or dialog. The count lives in memory
// only; nothing is sent to the controller when the limit is reached.
#pragma once

#include "app/security/password_outcome.h"

namespace kv {

enum class CounterRules {
    MainWindow,  // reset on Accepted/Corrupted/FormatRepaired; Wrong counts; at 3 the
                 // application ends; NoReason with 2 or more already counted ends it too
    CheckDialog, // reset as above; Wrong counts; from 3 on every Wrong is at the limit
    GateDialog,  // format and partition gates: every refusal counts; at 3 the gate closes
};

enum class CounterVerdict {
    NotCounted,   // the count was reset or left as it was
    Counted,      // one more failure, still below the limit
    LimitReached, // show the third-failure message and act on it
};

class FailureCounter {
  public:
    static constexpr int kLimit = 3;

    explicit FailureCounter(CounterRules rules) : rules_(rules) {}

    // When the window or dialog is shown.
    void Reset() { count_ = 0; }
    // After each attempt.
    CounterVerdict Record(PasswordOutcome outcome);
    int Count() const { return count_; }

  private:
    CounterRules rules_;
    int count_ = 0;
};

} // namespace kv
