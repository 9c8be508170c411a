#include "platform/iohost/files/stop_request.h"

#include <atomic>
#include <csignal>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace iohost {

namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");

#ifndef _WIN32

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
struct sigaction g_previous[kSignalCount];

extern "C" void OnStopSignal(int signal) {
    g_signal.store(signal);
}

#else

// Windows has no SIGHUP; the console's closing counts as one, as a closed terminal does on POSIX.
constexpr int kClosed = 1;
constexpr int kBreak = 21;
constexpr int kEnded = 15;
HANDLE g_finished = nullptr;  // set when the StopRequest is destroyed

BOOL WINAPI OnConsoleEvent(DWORD event) {
    int code = 0;
    switch (event) {
        case CTRL_C_EVENT:
            code = SIGINT;
            break;
        case CTRL_BREAK_EVENT:
            code = kBreak;
            break;
        case CTRL_CLOSE_EVENT:
            code = kClosed;
            break;
        default:
            code = kEnded;  // logoff, shutdown
            break;
    }
    int none = 0;
    if (!g_signal.compare_exchange_strong(none, code) && code != kClosed && code != kEnded)
        return FALSE;  // a second Ctrl-C ends the process
    if (code == kClosed || code == kEnded) {
        // Windows ends the process when this returns; it allows about five seconds.
        WaitForSingleObject(g_finished, 4500);
    }
    return TRUE;
}

#endif

}  // namespace

StopRequest::StopRequest() {
    g_signal.store(0);
#ifndef _WIN32
    for (int i = 0; i < kSignalCount; ++i) {
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        // No SA_RESTART: a blocking read returns, so the run can stop; one-shot, so a second
        // signal ends the process.
        action.sa_flags = SA_RESETHAND;
        sigaction(kSignals[i], &action, &g_previous[i]);
    }
#else
    g_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#endif
}

StopRequest::~StopRequest() {
#ifndef _WIN32
    for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
#else
    SetEvent(g_finished);
    // A handler still waiting keeps the event; the process is ending then anyway.
    if (g_signal.load() != kClosed && g_signal.load() != kEnded) {
        SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
        CloseHandle(g_finished);
        g_finished = nullptr;
    }
#endif
}

int StopRequest::signal() {
    return g_signal.load();
}

void LeaveStopSignalsToOtherThreads() {
#ifndef _WIN32
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kSignals) sigaddset(&set, signal);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
#endif
}

const char* StopRequest::name(int signal) {
#ifndef _WIN32
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "a signal";
    }
#else
    switch (signal) {
        case SIGINT:
            return "Ctrl-C";
        case kBreak:
            return "Ctrl-Break";
        case kClosed:
            return "the console closing";
        default:
            return "logoff or shutdown";
    }
#endif
}

}  // namespace iohost
