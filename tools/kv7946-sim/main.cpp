// kv7946-sim SCENARIO: runs a scenario on a simulated machine and prints
// its transcript. Exit status 0 when every expectation held.
#include "tools/kv7946-sim/scenario/runner.h"
#include "tools/kv7946-sim/scenario/sim_world.h"

#include <unistd.h>

#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: kv7946-sim SCENARIO\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "kv7946-sim: cannot read " << argv[1] << "\n";
        return 2;
    }
    std::stringstream text;
    text << in.rdbuf();

    std::error_code ec;
    auto root =
        std::filesystem::temp_directory_path(ec) / ("kv7946-sim-" + std::to_string(::getpid()));
    scenario::Transcript transcript(&std::cout);
    int status;
    {
        scenario::SimWorld world(transcript, std::filesystem::current_path(ec), root);
        status = scenario::runScenarioText(text.str(), world, transcript);
    }
    std::filesystem::remove_all(root, ec);
    return status;
}
