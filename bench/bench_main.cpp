// Runs the registered figure groups, prints a table, optionally writes JSON.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>

#include "bench.h"

namespace {

std::vector<BenchGroup>& Groups() {
    static std::vector<BenchGroup> groups;
    return groups;
}

std::string FormatValue(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.4g", v);
    return text;
}

}  // namespace

BenchRegistration::BenchRegistration(std::vector<std::string> names,
                                     std::function<std::vector<Figure>()> run, bool onRequest) {
    Groups().push_back({std::move(names), std::move(run), onRequest});
}

Figure AtLeast(const std::string& name, double value, const std::string& unit, double bound) {
    return {name, value, unit, ">= " + FormatValue(bound), value >= bound};
}

Figure AtMost(const std::string& name, double value, const std::string& unit, double bound) {
    return {name, value, unit, "<= " + FormatValue(bound), value <= bound};
}

Figure Info(const std::string& name, double value, const std::string& unit) {
    return {name, value, unit, "", true};
}

double NowSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

Clocks ReadClocks() { return {NowSeconds(), ProcessCpuSeconds()}; }

Rates RatesBetween(double work, const Clocks& from, const Clocks& to) {
    const double wall = to.wall - from.wall;
    const double cpu = to.cpu - from.cpu;
    return {wall > 0 ? work / wall : 0, cpu > 0 ? work / cpu : 0};
}

void KeepBest(Rates& best, const Rates& round) {
    best.wall = std::max(best.wall, round.wall);
    best.cpu = std::max(best.cpu, round.cpu);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int main(int argc, char** argv) {
    std::set<std::string> only;
    const char* jsonPath = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        auto takeValue = [&](const char* option) {
            const size_t n = std::strlen(option);
            if (arg.compare(0, n, option) != 0) return false;
            if (arg.size() > n && arg[n] == '=') {
                value = arg.substr(n + 1);
                return true;
            }
            if (arg.size() == n && i + 1 < argc) {
                value = argv[++i];
                return true;
            }
            return false;
        };
        if (takeValue("--only")) {
            std::stringstream list(value);
            for (std::string name; std::getline(list, name, ',');) only.insert(name);
        } else if (takeValue("--json")) {
            static std::string path;
            path = value;
            jsonPath = path.c_str();
        } else {
            std::fprintf(stderr,
                         "usage: brixlanetool-bench [--only NAME,...] [--json FILE]\n"
                         "figures:");
            for (const auto& g : Groups())
                for (const auto& n : g.names) std::fprintf(stderr, " %s", n.c_str());
            std::fprintf(stderr, "\n");
            return 2;
        }
    }

    std::vector<Figure> figures;
    for (const auto& group : Groups()) {
        bool wanted = only.empty() && !group.onRequest;
        for (const auto& n : group.names) wanted = wanted || only.count(n);
        if (!wanted) continue;
        for (auto& f : group.run()) {
            if (only.empty() || only.count(f.name) || group.onRequest) figures.push_back(f);
        }
    }

    std::printf("%-36s %14s  %-10s %-10s %s\n", "figure", "value", "unit", "goal", "met");
    for (const auto& f : figures) {
        std::printf("%-36s %14s  %-10s %-10s %s\n", f.name.c_str(), FormatValue(f.value).c_str(),
                    f.unit.c_str(), f.goal.empty() ? "-" : f.goal.c_str(),
                    f.goal.empty() ? "-" : (f.met ? "yes" : "NO"));
    }
    if (jsonPath) {
        // Keys in the order the table shows them.
        nlohmann::ordered_json results = nlohmann::ordered_json::array();
        for (const auto& f : figures) {
            results.push_back({{"name", f.name},
                               {"value", f.value},
                               {"unit", f.unit},
                               {"goal", f.goal},
                               {"met", f.met}});
        }
        std::ofstream out(jsonPath, std::ios::binary);
        out << results.dump(2) << "\n";
        out.close();
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", jsonPath);
            return 1;
        }
    }
    return 0;
}
