#include "platform/iohost/session/stop_request.h"

#include <atomic>
#include <csignal>

#ifndef _WIN32
#include <pthread.h>
#endif

namespace iohost {

namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");

extern "C" void OnStopSignal(int signal) {
    g_signal.store(signal);
#ifdef _WIN32
    std::signal(signal, SIG_DFL);  // the second one ends the process
#endif
}

constexpr int kSignals[2] = {SIGINT, SIGTERM};
#ifndef _WIN32
struct sigaction g_previous[2];
#else
void (*g_previous[2])(int);
#endif

}  // namespace

StopRequest::StopRequest() {
    g_signal.store(0);
    for (int i = 0; i < 2; ++i) {
#ifndef _WIN32
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        // No SA_RESTART: a read blocked on a pipe returns, so the run can stop; one-shot, so a
        // second signal ends the process.
        action.sa_flags = SA_RESETHAND;
        sigaction(kSignals[i], &action, &g_previous[i]);
#else
        g_previous[i] = std::signal(kSignals[i], OnStopSignal);
#endif
    }
}

StopRequest::~StopRequest() {
    for (int i = 0; i < 2; ++i) {
#ifndef _WIN32
        sigaction(kSignals[i], &g_previous[i], nullptr);
#else
        std::signal(kSignals[i], g_previous[i]);
#endif
    }
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
    return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal";
}

}  // namespace iohost
