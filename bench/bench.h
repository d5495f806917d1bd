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
