// What a run shows: message boxes with their answers, forms shown and
// hidden, programs started and ended, devices plugged and unplugged, and
// every failed expectation. Lines may come from any simulated thread.
#pragma once

#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace scenario {

class Transcript {
  public:
    // Each line is also written to out as it arrives (when given).
    explicit Transcript(std::ostream* out = nullptr) : out_(out) {}

    void add(const std::string& line);
    std::vector<std::string> lines() const;
    // Lines other than the echoed actions ("> ..."), for comparing runs
    // driven in different ways.
    std::vector<std::string> events() const;

    // "text" with inner quotes doubled, as the scenario language writes it.
    static std::string quote(const std::string& text);

  private:
    mutable std::mutex mutex_;
    std::ostream* out_;
    std::vector<std::string> lines_;
};

} // namespace scenario
