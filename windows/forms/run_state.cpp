#include "windows/forms/run_state.h"

#include <exception>
#include <utility>
#include <vector>

namespace forms::run {
namespace {

bool ended = false;  // once set, no handler of the program runs again
int exitStatus = 0;
std::vector<std::shared_ptr<void>> doomed;

}  // namespace

void Begin() {
    ended = false;
    exitStatus = 0;
}

bool Ended() { return ended; }

int ExitStatus() { return exitStatus; }

bool MarkEnded(int status) {
    if (ended) {
        return false;
    }
    ended = true;
    exitStatus = status;
    return true;
}

void Raise(const Handler& handler) {
    if (ended || !handler) {
        return;
    }
#if __cpp_exceptions
    try {
        handler();
    } catch (const std::exception& error) {
        Fail(error.what());
    }
#else
    // The web page's backend, built without exceptions, ends the run itself where an error is found.
    handler();
#endif
}

bool Doom(std::shared_ptr<void> object) {
    doomed.push_back(std::move(object));
    return doomed.size() == 1;
}

// Taken out first: destroying one may doom another.
void DestroyDoomed() { auto dying = std::exchange(doomed, {}); }

}  // namespace forms::run
