// Starting a run, ending it when its length has passed, and waiting for the test threads when
// the main window closes. Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "engine/run_request.h"

enum class RunStart {
    Started,
    NoCard,                  // the slot holds no card
    PreviousStillFinishing,  // the last run's thread is still writing its summary
    AlreadyRunning,
    NoTestMode,  // settings.testMode names no test
    NoThread,    // the test thread could not be started; the window is idle again
};

// The engine's one entry: checks the request, takes its settings, turns the window to
// Running, zeroes the counters and starts the test thread of the chosen mode. Whoever wants
// to hear how the run goes sets a RunObserver before.
RunStart StartRun(const RunRequest& request);
// The Start button: reads the device selection and the duration through the window port and
// hands them to StartRun with the current settings; tells the user when no card is selected.
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
