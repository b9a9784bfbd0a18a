// What the clipboard keeper and its launcher agree on: its exit statuses and its longest text.
#pragma once

#include <cstddef>

// The exit status of the keeper's first process, which its launcher waits for.
inline constexpr int kKeeperServing = 0;    // the clipboard is the keeper's; a detached one serves
inline constexpr int kKeeperFailed = 1;     // no display, a refused text or wrong arguments
inline constexpr int kKeeperNotNeeded = 3;  // the clipboard's owner was not the launcher's window

// The longest text the keeper takes. Vellumine's longest snippet is under 43 KB; a text far
// beyond that is a mistake, refused rather than held for as long as the session lasts, and not
// worth starting the keeper for.
inline constexpr std::size_t kLongestKeptText = std::size_t{1} << 20;
