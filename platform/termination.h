// Ending the process on the signals that ask a program to stop (interrupt,
// terminate, hang-up) without leaving a file behind: the process exits with
// status 128 + the signal number, first removing the one file registered
// here. Everything the handler does is async-signal-safe. On Windows the
// console's control events stand for the signals: Ctrl+C and Ctrl+Break for
// an interrupt (130), closing the console for a hang-up (129), log-off and
// shut-down for terminate (143).
#pragma once

namespace plat {

// Installs the handlers. False when the system refuses one.
bool HandleTerminationSignals();

// Names the file to remove when a signal ends the process; null names none.
// One file at a time: a new name replaces the previous one. False, with
// nothing registered, for a path longer than the handler can hold.
bool RemoveOnTermination(const char* path);

}  // namespace plat
