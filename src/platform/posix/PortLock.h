#pragma once

#include <string>

namespace platform::posix {

// Whether a UUCP lock file (LCK..ttyUSB0 in `lockDir`) of a live process
// other than ours holds the device `devicePath` (links are followed).
// Stale locks of dead processes do not count.
bool HeldByUucpLock(const std::string& devicePath, const std::string& lockDir);

}  // namespace platform::posix
