#pragma once

// Re-entry guard of the operator handlers: takes the busy flag when it is clear and gives it
// back on every way out; a handler that finds the flag set does nothing.
class HandlerBusyGuard {
public:
    explicit HandlerBusyGuard(bool &busy) : flag(busy), owner(!busy) { if (owner) flag = true; }
    ~HandlerBusyGuard() { if (owner) flag = false; }
    HandlerBusyGuard(const HandlerBusyGuard &) = delete;
    HandlerBusyGuard &operator=(const HandlerBusyGuard &) = delete;

    // False when another handler held the flag: the caller must return at once.
    explicit operator bool() const { return owner; }

private:
    bool &flag;
    const bool owner;
};
