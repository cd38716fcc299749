#pragma once
// A long operation (a run behind the progress window) owns the program until it ends: the frame
// keeps a close asked for meanwhile and honours it afterwards. Operations may nest.
#include <functional>

class CLongOperation {
public:
    CLongOperation() { Begin(); }
    ~CLongOperation() { End(); }
    CLongOperation(const CLongOperation&) = delete;
    CLongOperation& operator=(const CLongOperation&) = delete;

    // For holders whose operation does not follow a scope (the progress window's Open/Close).
    static void Begin();
    static void End();
    static bool IsRunning();
    // Called when the last running operation ends; an empty function removes it.
    static void SetWhenOver(std::function<void()> whenOver);
    // The program is asked to quit: every running operation is cancelled at its next look at
    // the progress window, as its Cancel button would. Cleared when the program starts again.
    static void RequestCancel(bool cancel = true);
    static bool IsCancelRequested();
};
