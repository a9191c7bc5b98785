#pragma once
// Work that may crash on hostile input (a foreign library parsing a file) run
// in a child process of its own, so that a memory fault there cannot take the
// host's process down. The child sends its results through `send`; they
// arrive in the parent through `receive` in the same order.

#include <cstddef>
#include <functional>
#include <string>

namespace ChildProcess {

using Sender = std::function<bool(const void* data, std::size_t size)>;

// True when the child ran `work` to its end and `work` returned 0; otherwise
// `failure` says how the child ended (exit status or signal). A child that
// sends nothing for idleTimeoutMs is killed.
bool RunIsolated(const std::function<int(const Sender& send)>& work,
                 const std::function<void(const void* data, std::size_t size)>& receive, std::string& failure,
                 int idleTimeoutMs = 60000);

}  // namespace ChildProcess
