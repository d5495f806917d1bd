// Who made this program and which build it is: the identification line of the event log,
// the about box and the runner's results all say the same.
#pragma once

#include "brixlane_version.h"

inline constexpr const wchar_t* kMakerName = L"Korvenix";
inline constexpr const wchar_t* kProgramName = L"Brixlanetool";
inline constexpr const wchar_t* kProgramVersion = L"" BRIXLANE_VERSION_TEXT;
inline constexpr const wchar_t* kBuildNumber = L"" BRIXLANE_BUILD_TEXT;
// "Korvenix Brixlanetool V1.0 1001", the first record after every reset.
inline constexpr const wchar_t* kIdentificationLine =
    L"Korvenix Brixlanetool " BRIXLANE_VERSION_TEXT " " BRIXLANE_BUILD_TEXT;
