// What the forms layer keeps of a run whatever the toolkit: whether it has ended, its exit status,
// the objects waiting for DestroyLater, and how the program's handlers are called. Each backend
// adds what its toolkit must do on top: leave its event loop, and come back to destroy the doomed.
#pragma once

#include <memory>

#include "windows/forms/forms.h"

namespace forms::run {

// A new run: not ended, exit status 0.
void Begin();

[[nodiscard]] bool Ended();
[[nodiscard]] int ExitStatus();

// Ends the run with that status; false when it had ended already, and the status stays.
[[nodiscard]] bool MarkEnded(int status);

// Calls the handler unless the run has ended; what it throws ends the run as a run-time error.
// Built without exceptions, a backend reports its errors through Fail where it finds them.
void Raise(const Handler& handler);

// Keeps the object until DestroyDoomed; true for the first one since the last DestroyDoomed, when
// the backend must ask its toolkit to come back for them.
[[nodiscard]] bool Doom(std::shared_ptr<void> object);
void DestroyDoomed();

}  // namespace forms::run
