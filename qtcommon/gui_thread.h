#pragma once

#include <functional>

namespace tenlo::qt {

bool OnGuiThread();

// Queues fn to the GUI thread and returns at once. Calls posted from one thread run in order.
void PostToGui(std::function<void()> fn);

// Runs fn on the GUI thread and waits for it; runs it directly when already there. The GUI
// thread must be pumping events (it does while it waits for a device operation).
void RunOnGui(const std::function<void()>& fn);

}  // namespace tenlo::qt
