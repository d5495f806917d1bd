#include "cli/junit_results.h"

#include <cstdio>
#include <utility>

#include "log/utf8.h"

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// A JSON value as one line of text: strings as they are, everything else as JSON writes it.
std::string ValueText(const Json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_null()) return "none";
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

using Named = std::vector<std::pair<std::string, std::string>>;

// Every scalar of `object` with its path, nested objects as dotted paths. Lists are left out:
// per-minute records and groups of ten belong to the JSON, not to a CI server's page.
void Flatten(const Json& object, const std::string& prefix, Named& out) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string path = prefix + it.key();
        if (it.value().is_object()) {
            Flatten(it.value(), path + ".", out);
        } else if (!it.value().is_array()) {
            out.emplace_back(path, ValueText(it.value()));
        }
    }
}

std::vector<std::string> Lines(const Json& object) {
    Named named;
    if (object.is_object()) Flatten(object, std::string(), named);
    std::vector<std::string> lines;
    for (const auto& [name, value] : named) lines.push_back(name + ": " + value);
    return lines;
}

// The card's figures: every figure its JSON results hold, lists aside, so that figures the
// results gain (the round-trip percentiles, the cycle rates' slow tail) come into the
// testcase with them. This is the one place to shape them for a reader if a plain
// "path: value" is not enough.
std::vector<std::string> FigureLines(const Json& results) { return Lines(results); }

std::string Seconds(double seconds) {
    char text[40];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

std::string Property(const std::string& name, const std::string& value, const char* indent) {
    return std::string(indent) + "<property name=\"" + XmlEscape(name, true) + "\" value=\"" +
           XmlEscape(value, true) + "\"/>\n";
}

std::string SystemOut(const JunitCase& c) {
    const Json& r = c.result;
    std::string out;
    auto section = [&out](const std::string& head, const std::vector<std::string>& lines) {
        out += head + "\n";
        for (const std::string& line : lines) out += "  " + line + "\n";
    };
    section("Card:", Lines(r["card"]));
    out += "Test: " + ValueText(r["test"]) + "\n";
    out += "Start time: " + ValueText(r["start_time"]) + "\n";
    out += "Duration: " + Seconds(r["duration_s"].get<double>()) + " s\n";
    if (r["results"].is_null()) {
        out += "Figures: none, the card was not tested\n";
    } else {
        std::vector<std::string> figures = FigureLines(r["results"]);
        figures.insert(figures.end(), c.figures.begin(), c.figures.end());
        section("Figures:", figures);
    }
    std::vector<std::string> reasons;
    for (const Json& reason : r["reasons"]) reasons.push_back(reason.get<std::string>());
    section("Verdict: " + ValueText(r["verdict"]), reasons);
    if (!c.summary.empty()) section("Summary:", c.summary);
    return out;
}

std::string Testcase(const CliOptions& options, const JunitCase& c) {
    const char* test = options.command == CliCommand::Loopback ? "loopback" : "benchmark";
    const double time = c.result.is_null() ? 0.0 : c.result["duration_s"].get<double>();
    std::string xml = "    <testcase name=\"" + XmlEscape(c.name, true) +
                      "\" classname=\"brixlanetool-cli." + test + "\" time=\"" + Seconds(time) +
                      "\">\n";
    if (c.result.is_null()) {
        return xml + "      <skipped message=\"" + XmlEscape(c.skipped, true) +
               "\"/>\n    </testcase>\n";
    }
    const Json& r = c.result;
    // Read by the CI servers that read testcase properties; the rest find the same in
    // system-out.
    xml += "      <properties>\n";
    xml += Property("slot", ValueText(r["card"]["slot"]), "        ");
    xml += Property("verdict", ValueText(r["verdict"]), "        ");
    xml += Property("start_time", ValueText(r["start_time"]), "        ");
    xml += "      </properties>\n";
    if (r["verdict"] != "passed") {
        std::string message;
        std::string body;
        for (const Json& reason : r["reasons"]) {
            const std::string text = reason.get<std::string>();
            message += (message.empty() ? "" : "; ") + text;
            body += text + "\n";
        }
        xml += "      <failure message=\"" + XmlEscape(message, true) + "\" type=\"failed\">" +
               XmlEscape(body, false) + "</failure>\n";
    }
    xml += "      <system-out>" + XmlEscape(SystemOut(c), false) + "</system-out>\n";
    return xml + "    </testcase>\n";
}

}  // namespace

std::string XmlEscape(const std::string& text, bool attribute) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '&':
                out += "&amp;";
                continue;
            case '<':
                out += "&lt;";
                continue;
            case '>':
                out += "&gt;";
                continue;
            case '"':
                out += "&quot;";
                continue;
            case '\'':
                out += "&apos;";
                continue;
            case '\r':
                out += "&#13;";
                continue;
            case '\t':
                out += attribute ? "&#9;" : "\t";
                continue;
            case '\n':
                out += attribute ? "&#10;" : "\n";
                continue;
            default:
                break;
        }
        if (c < 0x20) {
            out += kReplacement;
        } else if (c == 0xEF && i + 2 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) == 0xBF &&
                   (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE) {
            out += kReplacement;  // U+FFFE or U+FFFF
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string JunitText(const CliOptions& options, const std::vector<JunitCase>& cases) {
    size_t failures = 0;
    size_t skipped = 0;
    double time = 0;
    std::string timestamp;
    std::string body;
    for (const JunitCase& c : cases) {
        if (c.result.is_null()) {
            ++skipped;
        } else {
            if (c.result["verdict"] != "passed") ++failures;
            time += c.result["duration_s"].get<double>();
            // The local time the first card began, without its offset, as JUnit writes it.
            if (timestamp.empty() && c.result["start_time"].is_string()) {
                timestamp = c.result["start_time"].get<std::string>().substr(0, 19);
            }
        }
        body += Testcase(options, c);
    }

    const std::string test = options.command == CliCommand::Loopback ? "loopback" : "benchmark";
    const std::string counts = " tests=\"" + std::to_string(cases.size()) + "\" failures=\"" +
                               std::to_string(failures) + "\" errors=\"0\" skipped=\"" +
                               std::to_string(skipped) + "\" time=\"" + Seconds(time) + "\"";
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    xml += "<testsuites name=\"brixlanetool-cli\"" + counts + ">\n";
    xml += "  <testsuite name=\"brixlanetool-cli " + test + "\"" + counts;
    if (!timestamp.empty()) xml += " timestamp=\"" + XmlEscape(timestamp, true) + "\"";
    xml += ">\n    <properties>\n";
    const char* indent = "      ";
    xml += Property("program",
                    std::string(kResultsProgramName) + " " + kResultsProgramVersion + " build " +
                        std::to_string(kResultsProgramBuild),
                    indent);
    xml += Property("test", test, indent);
    xml += Property("card", options.allCards ? "all" : std::to_string(options.card), indent);
    if (options.simulate) xml += Property("simulate", ToUtf8(options.simulateOptions), indent);
    Named settings;
    Flatten(SettingsJson(options), std::string(), settings);
    for (const auto& [name, value] : settings) xml += Property(name, value, indent);
    if (!options.logFile.empty()) xml += Property("log", ToUtf8(options.logFile), indent);
    xml += "    </properties>\n" + body + "  </testsuite>\n</testsuites>\n";
    return xml;
}
