// The driver verifier of the simulated kernel: checks that fire are kept as
// one line each, for a test to assert that there are none.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace wdm {

class Verifier {
  public:
    void report(std::string violation);
    std::vector<std::string> violations() const;
    void clear();

  private:
    mutable std::mutex m_;
    std::vector<std::string> violations_;
};

} // namespace wdm
