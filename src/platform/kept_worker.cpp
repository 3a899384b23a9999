#include <atomic>

#include "platform/platform.h"
#include "platform/worker_threads.h"

namespace {
PlatformWorker* g_keptWorker = nullptr;
std::atomic<bool> g_keptWorkerBusy{false};

void DoNothing(void*) {}
}  // namespace

PlatformWorker* PlatformStartWorker() {
    bool idle = false;
    if (g_keptWorker && g_keptWorkerBusy.compare_exchange_strong(idle, true)) return g_keptWorker;
    return PlatformNewWorker();
}

void PlatformStopWorker(PlatformWorker* worker) {
    if (!worker) return;
    if (worker == g_keptWorker) {
        PlatformWorkerWait(worker);
        g_keptWorkerBusy = false;
        return;
    }
    PlatformEndWorker(worker);
}

void PlatformKeepWorker() {
    if (g_keptWorker) return;
    g_keptWorker = PlatformNewWorker();
    if (!g_keptWorker) return;
    PlatformWorkerRun(g_keptWorker, DoNothing, nullptr);
    PlatformWorkerWait(g_keptWorker);
}

void PlatformEndKeptWorker() {
    if (!g_keptWorker) return;
    PlatformEndWorker(g_keptWorker);
    g_keptWorker = nullptr;
    g_keptWorkerBusy = false;
}
