// Ctrl-C (SIGINT) and SIGTERM as a request to stop, for a long run that must finish its file
// instead of dying with it half-written. While a StopRequest lives the first such signal only
// sets a flag (and interrupts a blocking read); a second one ends the process as usual.
#pragma once

namespace iohost {

class StopRequest {
public:
    StopRequest();
    ~StopRequest();
    StopRequest(const StopRequest&) = delete;
    StopRequest& operator=(const StopRequest&) = delete;

    // The signal received, 0 while none.
    [[nodiscard]] static int signal();
    // "SIGINT" / "SIGTERM".
    [[nodiscard]] static const char* name(int signal);
};

// Called first by a helper thread, so that the stop signals reach the thread that reads the input
// (and interrupt its blocking read) rather than a helper. No effect on Windows.
void LeaveStopSignalsToOtherThreads();

}  // namespace iohost
