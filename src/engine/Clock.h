#pragma once
// The engine's time. The program runs on the machine's steady clock; a test gives the engine a
// clock it moves by hand and walks a reply window's schedule without waiting for it.

#include <chrono>

class Clock {
public:
    virtual ~Clock() = default;
    // Time since some fixed start; it never goes back.
    virtual std::chrono::nanoseconds now() const = 0;

    // The machine's steady clock, one for the whole program.
    static const Clock& steady();
};
