// The run's results as JUnit XML, which every CI server reads: one testsuite for the run with
// its settings as properties, one testcase per card, failed with the card's reasons or skipped
// when the run never came to it. Each testcase's system-out holds the card's facts, its figures
// and its summary lines.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/json_results.h"

struct JunitCase {
    std::string name;                  // the card's display name, UTF-8
    Json result;                       // the card's JSON results object; null for a card not tested
    std::vector<std::string> summary;  // the summary lines, as printed
    std::vector<std::string> figures;  // "name: value" lines beyond the JSON results'
    std::string skipped;               // why the card was not tested, for a null `result`
};

// The whole file, UTF-8.
std::string JunitText(const CliOptions& options, const std::vector<JunitCase>& cases);

// UTF-8 text as XML character data, or as an attribute value when `attribute`. `<`, `&`, `>`
// and quotes become references; characters XML 1.0 cannot hold at all (control characters
// but tab, line feed and carriage return; U+FFFE, U+FFFF) become U+FFFD; in an attribute,
// tab, line feed and carriage return become references, as a parser would turn them into
// spaces; a carriage return always does, as a parser would drop it before a line feed.
std::string XmlEscape(const std::string& text, bool attribute);
