// gui_detailed_logging_ratio: the real window under Wine, so it runs through
// scripts/gui-bench.sh (a Windows build, Xvfb and Wine) and only when named with --only.
#include <cstdio>
#include <string>
#include <vector>

#include "bench.h"

// The bench built for Windows runs inside Wine already and has no Wine to start.
#ifndef _WIN32
namespace {

std::vector<Figure> DetailedLoggingRatio() {
    const std::string command =
        std::string("bash '") + BRIXLANE_SOURCE_DIR + "/scripts/gui-bench.sh'";
    double ratio = 0;
    if (std::FILE* output = popen(command.c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, output)) {
            std::sscanf(line, "gui_detailed_logging_ratio %lf", &ratio);
        }
        pclose(output);
    }
    // A ratio of 0 says the measurement itself failed (the script's errors are on stderr).
    return {AtLeast("gui_detailed_logging_ratio", ratio, "ratio", 0.8)};
}

BenchRegistration registration{{"gui_detailed_logging_ratio"}, DetailedLoggingRatio,
                               /*onRequest=*/true};

}  // namespace
#endif
