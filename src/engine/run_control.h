// Starting a run, ending it when its length has passed, and waiting for the test threads when
// the main window closes. Main thread only.
#pragma once

#include <cstdint>
#include <string>

// The Start action: checks the selected card, turns the window to Running, zeroes the
// counters, reads the duration and starts the test thread of the chosen mode.
void StartTest();
// Called by the refresh timer while a run is in progress: keeps elapsedSeconds and, when the
// run length has passed, beeps and asks the run to stop. `now` is calendar seconds.
void CheckRunLength(int64_t now);
void CheckRunLength();
// Whether a run length's seconds, reckoned in single precision as the run-length check does,
// fit 32 bits. A longer one never ends by itself. kLargestRunMinutes is the largest whole
// length that fits (about 68 years); 35791394.1 already rounds past it.
bool RunLengthFits(float minutes);
inline constexpr double kLargestRunMinutes = 35791394;
// Stops the run and waits (handling the window's messages) up to 2 s for the test threads.
void CleanupTests();
// True from Start until the run's test thread has returned. A front end that starts runs one
// after another waits for this, as Start refuses while the previous thread is still alive.
bool TestThreadAlive();

// Parses a duration text the way the C library's floating-point conversion does (leading
// blanks, sign, digits, fraction, exponent; anything else reads as 0). Non-finite values
// read as 0 too.
double ParseDurationMinutes(const std::wstring& text);
