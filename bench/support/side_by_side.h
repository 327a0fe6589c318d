// side_by_side.h: the end of every benchmark program. It runs the registered benchmarks
// through the display reporter the --benchmark_format/--benchmark_color flags ask for,
// keeps each benchmark's throughput on the side, and then prints one row per comparison:
//
//     subject: ours / peer = ratio   (ours rate / peer rate)
//
// A throughput is items per second where the benchmark counts items, otherwise bytes per
// second: the median aggregate when repetitions give one, otherwise the median of the plain
// runs. Higher ratios are better. Rows whose two benchmarks were both filtered out are left
// out; a row with one side missing says n/a.
#pragma once

#include <string>
#include <vector>

namespace velkano::bench {

class SideBySide {
public:
    // `program` prefixes every message. Reads the --benchmark_* flags and removes them from
    // argv; initialised() is false when anything else is left.
    SideBySide(const char* program, int& argc, char** argv);
    bool initialised() const { return initialised_; }

    // `subject: ours / peer`, the two being registered benchmark names; `items` names what
    // their items are (pixels unless stated).
    void compare(std::string subject, std::string ours, std::string peer, std::string items = "pixels");
    // A line printed under the table's heading, such as which peer build ran.
    void note(std::string line);

    // Prints "program: why" to stderr and returns main's exit code for a program that cannot
    // compare what it should (a pre-check failed, a peer could not be set up).
    int refuse(const std::string& why) const;
    // Runs every registered benchmark, prints the table (on stdout after console output,
    // otherwise on stderr so machine-readable output stays clean) and returns main's exit code.
    int run() const;

private:
    struct Comparison {
        std::string subject, ours, peer, items;
    };
    std::string program_;
    bool initialised_ = false;
    std::vector<Comparison> comparisons_;
    std::vector<std::string> notes_;
};

}  // namespace velkano::bench
