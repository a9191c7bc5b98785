#pragma once
// Starting another program and waiting for it, and where the running program
// lies. The conversions that hand their work to an external converter use
// these.

#include <functional>
#include <string>
#include <vector>

namespace Spawn {

// The result of a start that did not happen.
constexpr int kNotStarted = -1;

// Starts `program` (a path; searched in PATH when it has no "/") with the
// arguments `args` (args[0] is the name the program sees itself under) and
// an empty signal mask, and waits for it to end. Returns its exit status
// (0..255), 128 + the signal that ended it, or kNotStarted when it could not
// be started (not found, not executable); `failure` then says why. The child
// runs in a process group of its own: when `stop` answers true (asked a few
// times a second) the whole group is ended, the call waits for the child and
// returns the status it ended with. `started`, when given, is called once
// the child runs its program: files opened from then on, on any thread, can
// no longer reach the child (the copy of the descriptor table that it made
// before its exec keeps open, and locked, whatever was open at that moment).
int RunAndWait(const std::string& program, const std::vector<std::string>& args,
               const std::function<bool()>& stop, std::string& failure,
               const std::function<void()>& started = {});

// The directory of the running executable with its trailing "/"
// (/proc/self/exe); empty when it cannot be told.
std::string ExecutableDirectory();

}  // namespace Spawn
