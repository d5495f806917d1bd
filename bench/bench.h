// brixlanetool-bench: figures, each a ratio or rate measured in one run against a raw
// baseline where one exists. Every figure has a short name, a value, a unit and a goal.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct Figure {
    std::string name;
    double value = 0;
    std::string unit;
    std::string goal;  // e.g. ">= 0.9"
    bool met = false;
};

// A group of related figures measured together (they share a baseline). `names` are the
// figure names it produces, so --only can pick groups without running them.
struct BenchGroup {
    std::vector<std::string> names;
    std::function<std::vector<Figure>()> run;
    bool onRequest = false;  // long runs: only when one of `names` is asked for with --only
};

// Registers a group at static-initialisation time: `static BenchRegistration r{{...}, fn};`
struct BenchRegistration {
    BenchRegistration(std::vector<std::string> names, std::function<std::vector<Figure>()> run,
                      bool onRequest = false);
};

// Goal helpers: a figure that must be at least / at most a bound.
Figure AtLeast(const std::string& name, double value, const std::string& unit, double bound);
Figure AtMost(const std::string& name, double value, const std::string& unit, double bound);
// A figure reported for information, with no goal.
Figure Info(const std::string& name, double value, const std::string& unit);

// Seconds on a monotonic clock.
double NowSeconds();

// Seconds of processor time this process has used, all its threads together. A round's
// processor time leaves out the time other programs had the processor, so on a machine
// shared with other work a rate per processor second stays steady where one per wall
// second does not; both are reported.
double ProcessCpuSeconds();

// The two clocks read together, and work per second of each.
struct Clocks {
    double wall = 0;
    double cpu = 0;
};
Clocks ReadClocks();
struct Rates {
    double wall = 0;  // work per wall second
    double cpu = 0;   // work per processor second
};
// Work done between two readings, per second of each clock.
Rates RatesBetween(double work, const Clocks& from, const Clocks& to);
// Keeps the better of each rate: rounds of two measurements alternate and each keeps its
// best, so that the machine's other load falls on both alike.
void KeepBest(Rates& best, const Rates& round);
// The middle value (the mean of the two middle ones for an even count); 0 for none.
double Median(std::vector<double> values);
