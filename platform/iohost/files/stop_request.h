// A request to stop, for a long run that must finish its output instead of dying with it
// half-written. On POSIX: SIGINT (Ctrl-C), SIGTERM and SIGHUP (the terminal closed). On Windows:
// Ctrl-C, Ctrl-Break and the console's closing, logoff and shutdown events.
//
// While a StopRequest lives the first request only sets a flag; reads of a pipe or terminal give
// up within a fraction of a second (InputFile polls the flag), so a stalled upstream cannot hold
// the run. A second signal ends the process as usual. For closing, logoff and shutdown Windows
// ends the process once its handler returns, so the handler waits (a few seconds at most) until
// the StopRequest is destroyed, that is, until the run has finished its output.
#pragma once

namespace iohost {

class StopRequest {
public:
    StopRequest();
    ~StopRequest();
    StopRequest(const StopRequest&) = delete;
    StopRequest& operator=(const StopRequest&) = delete;

    // The request as a signal number (Windows events map to SIGINT, SIGBREAK, SIGHUP's number 1 or
    // SIGTERM's number 15), 0 while none. A run stopped this way exits with 128 + it.
    [[nodiscard]] static int signal();
    // "SIGINT", "SIGTERM", "SIGHUP"; on Windows "Ctrl-C", "Ctrl-Break", "the console closing"...
    [[nodiscard]] static const char* name(int signal);
};

// Called first by a helper thread, so that the stop signals reach the thread that reads the input
// rather than a helper. No effect on Windows.
void LeaveStopSignalsToOtherThreads();

}  // namespace iohost
