#include "base/UiTask.h"

#include <deque>
#include <mutex>
#include <utility>

namespace {

std::mutex Lock;
HWND Window = nullptr;
DWORD WindowThread = 0;
std::deque<std::function<void()>> Queue;

}  // namespace

void AttachUiTasks(HWND window) {
    std::lock_guard guard(Lock);
    Window = window;
    WindowThread = window ? GetWindowThreadProcessId(window, nullptr) : 0;
    Queue.clear();
}

void DetachUiTasks() {
    std::deque<std::function<void()>> dropped;
    std::lock_guard guard(Lock);
    Window = nullptr;
    WindowThread = 0;
    dropped.swap(Queue);
}

bool PostUiTask(std::function<void()> task) {
    std::lock_guard guard(Lock);
    if (!Window) return false;
    Queue.push_back(std::move(task));
    // One message per task: a lost post leaves the task for the next one.
    PostMessageW(Window, WM_UI_TASK, 0, 0);
    return true;
}

void RunUiTasks() {
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard guard(Lock);
            if (Queue.empty()) return;
            task = std::move(Queue.front());
            Queue.pop_front();
        }
        // Run outside the lock: a task may post further tasks.
        task();
    }
}

void RunOnUiThread(std::function<void()> task) {
    bool here = false;
    {
        std::lock_guard guard(Lock);
        here = Window && WindowThread == GetCurrentThreadId();
    }
    if (here)
        task();
    else
        PostUiTask(std::move(task));
}
