#include "platform/wdm/verifier.h"

namespace wdm {

void Verifier::report(std::string violation) {
    std::lock_guard lock(m_);
    violations_.push_back(std::move(violation));
}

std::vector<std::string> Verifier::violations() const {
    std::lock_guard lock(m_);
    return violations_;
}

void Verifier::clear() {
    std::lock_guard lock(m_);
    violations_.clear();
}

} // namespace wdm
