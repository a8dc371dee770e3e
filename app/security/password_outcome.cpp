#include "app/security/password_outcome.h"

namespace kv {

const char* ToString(PasswordOutcome outcome) {
    switch (outcome) {
    case PasswordOutcome::Accepted:
        return "Accepted";
    case PasswordOutcome::Wrong:
        return "Wrong";
    case PasswordOutcome::Corrupted:
        return "Corrupted";
    case PasswordOutcome::FormatRepaired:
        return "FormatRepaired";
    case PasswordOutcome::RepairFailed:
        return "RepairFailed";
    case PasswordOutcome::UnknownReason:
        return "UnknownReason";
    case PasswordOutcome::NoReason:
        return "NoReason";
    }
    return "?";
}

} // namespace kv
