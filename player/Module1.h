#pragma once
// The clip player: plays one WAV file to its end through the MCI string service, keeping the
// windows alive while it waits.
#include <string>

namespace Module1 {

// Plays the WAV file at path and returns when it has stopped. A file that cannot be played is
// silent and returns at once. Re-entrant through the event pump: a call that arrives while a
// clip plays leaves that clip alone and returns when it ends; past a depth of nested calls, a
// further one returns at once.
void PlayWaveFile(const std::string& path);

// The short (blank-free) form of path, or the empty text when there is none.
std::string GetShortPath(const std::string& path);

// True while the device opened under alias reports "playing".
bool IsAliasPlaying(const std::string& alias);

}  // namespace Module1
