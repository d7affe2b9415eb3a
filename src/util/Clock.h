// Time as the program and its virtual drives see it.
//
// Waiting for a drive that spins up goes through a Clock, and the virtual
// drive reads the same clock to decide when it is ready, so tests and
// benchmarks run on a VirtualClock that advances without sleeping.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

namespace tolvane {

class Clock {
public:
    using Duration = std::chrono::nanoseconds;

    virtual ~Clock() = default;
    // Time since an arbitrary, fixed start.
    virtual Duration Now() const = 0;
    // Waits for d (a virtual clock only moves its time on).
    virtual void Sleep(Duration d) = 0;
    // Charges modelled time, such as a virtual drive's work on a command. Real time
    // passes by itself, so only a virtual clock moves.
    virtual void Advance(Duration d) = 0;
};

class SystemClock final : public Clock {
public:
    Duration Now() const override
    {
        return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now().time_since_epoch());
    }
    void Sleep(Duration d) override { std::this_thread::sleep_for(d); }
    void Advance(Duration) override {}
};

class VirtualClock final : public Clock {
public:
    Duration Now() const override { return Duration(now_.load()); }
    void Sleep(Duration d) override { Advance(d); }
    void Advance(Duration d) override { now_ += d.count(); }

private:
    std::atomic<Duration::rep> now_{0};
};

} // namespace tolvane
