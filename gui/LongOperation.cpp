#include "gui/LongOperation.h"

namespace {
int g_running = 0;
bool g_cancelRequested = false;

std::function<void()>& WhenOver() {
    static std::function<void()> whenOver;
    return whenOver;
}
} // namespace

void CLongOperation::Begin() {
    ++g_running;
}

void CLongOperation::End() {
    if (g_running > 0) --g_running;
    if (g_running == 0 && WhenOver()) WhenOver()();
}

bool CLongOperation::IsRunning() {
    return g_running > 0;
}

void CLongOperation::SetWhenOver(std::function<void()> whenOver) {
    WhenOver() = std::move(whenOver);
}

void CLongOperation::RequestCancel(bool cancel) {
    g_cancelRequested = cancel;
}

bool CLongOperation::IsCancelRequested() {
    return g_cancelRequested;
}
