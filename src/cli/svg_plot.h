// SvgPlot: the report's two kinds of figure as inline SVG text, drawn by hand: a few axes,
// polylines and rectangles. Every text put into them is escaped here.
#pragma once

#include <string>
#include <vector>

#include "engine/run_statistics.h"

// Text for HTML and SVG: & < > " ' as entities; the UTF-8 passes as it is.
std::string EscapeHtml(const std::string& utf8);

struct PlotSeries {
    std::string name;   // for the legend
    std::string color;  // a CSS colour
    std::vector<double> x, y;
};

// A line plot of rate (MB/s) over time (s) from 0 to `endS`, one polyline per series, and a red
// tick on the time axis under every time in `errorAtS`. `caption` titles it.
std::string RatePlotSvg(const std::string& caption, const std::vector<PlotSeries>& series,
                        double endS, const std::vector<double>& errorAtS);

struct PlotMarker {
    std::string label;  // "p99"
    double value = 0;
};

// Bars on a logarithmic axis in `unit`, with a dashed line and a label at each marker.
std::string HistogramSvg(const std::string& caption, const std::string& unit,
                         const std::vector<HistogramBar>& bars,
                         const std::vector<PlotMarker>& markers);
