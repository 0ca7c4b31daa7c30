// The gate a run's changes pass: the first change of a run is made only when no stop was asked
// before it, and once one is made no stop can undo it. The run owns the gate; the concerns it
// owns (the database, the record of renames) reach it through this port.
#pragma once

class IChangeGate {
public:
    // False when a stop was asked before the run's first change: the change is not made.
    virtual bool BeginChange() = 0;
    // True while a stop is asked and nothing has changed: reading may end at once.
    virtual bool StopAsked() const = 0;

protected:
    ~IChangeGate() = default;
};
