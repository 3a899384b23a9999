// Counts the windows of one kind that this process shows while a step runs,
// and cancels each one, so that a window which should not be there fails the
// test instead of holding it until its time-out.
#pragma once

#include <windows.h>

#include <atomic>
#include <thread>

#include "../driver/window_driver.h"

class UnwantedWindows {
   public:
    explicit UnwantedWindows(window_driver::WindowKind kind) : kind_(kind), thread_([this] { Run(); }) {}
    ~UnwantedWindows() { Stop(); }
    // Ends the watch; returns how many such windows appeared.
    int Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return seen_;
    }

   private:
    void Run() {
        while (!stop_) {
            HWND window = window_driver::WaitForWindow(kind_, 100, GetCurrentProcessId());
            if (!window) continue;
            ++seen_;
            window_driver::PressButton(window, IDCANCEL);
            window_driver::WaitUntilGone(window, 20000);
        }
    }

    window_driver::WindowKind kind_;
    std::atomic<bool> stop_{false};
    std::atomic<int> seen_{0};
    std::thread thread_;
};
