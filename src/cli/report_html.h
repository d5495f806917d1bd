// The runner's HTML report: one self-contained page for a run, every card tested in it. It
// needs no network and no script, and prints on A4: plain HTML, inline CSS and inline SVG.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/json_results.h"
#include "engine/run_statistics.h"

// One card's part of the report, kept by the runner as each card's turn ends.
struct ReportCard {
    CardOutcome outcome;
    RunFigures figures;                   // empty when the card was not tested
    RateFigures loopbackRates;            // the round-trip rates (loopback)
    std::vector<std::wstring> summary;    // the run's summary records
    std::vector<std::wstring> diagnosis;  // the "diagnose: ..." lines
};

std::string ReportHtml(const CliOptions& options, const std::vector<ReportCard>& cards);
