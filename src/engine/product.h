// Who made this program and which build it is: the identification line of the event log,
// the about box and the runner's results all say the same.
#pragma once

inline constexpr const wchar_t* kMakerName = L"Korvenix";
inline constexpr const wchar_t* kProgramName = L"Brixlanetool";
inline constexpr const wchar_t* kProgramVersion = L"V1.0";
inline constexpr const wchar_t* kBuildNumber = L"1001";
// "Korvenix Brixlanetool V1.0 1001", the first record after every reset.
inline constexpr const wchar_t* kIdentificationLine = L"Korvenix Brixlanetool V1.0 1001";
