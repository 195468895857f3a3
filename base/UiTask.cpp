#include "base/UiTask.h"

#include <deque>
#include <mutex>
#include <utility>

namespace {

std::mutex Lock;
HWND Window = nullptr;
std::deque<std::function<void()>> Queue;

}  // namespace

void AttachUiTasks(HWND window) {
    std::lock_guard guard(Lock);
    Window = window;
    Queue.clear();
}

void DetachUiTasks() {
    std::deque<std::function<void()>> dropped;
    std::lock_guard guard(Lock);
    Window = nullptr;
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
