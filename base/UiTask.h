// The one way to hand work to the user-interface thread: a task posted from
// any thread runs on the thread of the window it was attached to, in the
// order posted, when that window's loop takes the message. Each task carries
// its own data, so nothing is packed into a message's parameters.
#pragma once

#include <windows.h>

#include <functional>

// The message the window hands to RunUiTasks.
constexpr UINT WM_UI_TASK = WM_APP + 2;

// The window that runs the tasks (its create handler); tasks of an earlier
// window that never ran are dropped.
void AttachUiTasks(HWND window);
// Its destruction: tasks posted from then on are dropped.
void DetachUiTasks();
// False when no window takes tasks: the task is dropped.
bool PostUiTask(std::function<void()> task);
// The window's handler of WM_UI_TASK: runs every task queued so far.
void RunUiTasks();
// Runs `task` at once on the window's thread, else posts it.
void RunOnUiThread(std::function<void()> task);
