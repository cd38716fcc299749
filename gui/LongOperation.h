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
};
