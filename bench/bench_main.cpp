// Runs the registered figure groups, prints a table, optionally writes JSON.
#include <chrono>
#include <cstdio>
#include <cstring>
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

std::string JsonEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
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
        FILE* out = std::fopen(jsonPath, "w");
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", jsonPath);
            return 1;
        }
        std::fprintf(out, "[\n");
        for (size_t i = 0; i < figures.size(); ++i) {
            const auto& f = figures[i];
            std::fprintf(out,
                         "  {\"name\": \"%s\", \"value\": %.17g, \"unit\": \"%s\", \"goal\": "
                         "\"%s\", \"met\": %s}%s\n",
                         JsonEscape(f.name).c_str(), f.value, JsonEscape(f.unit).c_str(),
                         JsonEscape(f.goal).c_str(), f.met ? "true" : "false",
                         i + 1 < figures.size() ? "," : "");
        }
        std::fprintf(out, "]\n");
        std::fclose(out);
    }
    return 0;
}
