#pragma once

#include <span>

namespace floodmark::app {

// Each command takes the words after its name and returns the process's exit status.

// The saver program's commands: they draw (or set up a saver host), so they need the whole
// graphics stack.
int framesCommand(std::span<char* const> words);
int snapshotCommand(std::span<char* const> words);
int renderCommand(std::span<char* const> words);
int installHackCommand(std::span<char* const> words);
// No command: the saver on the Wayland compositor or the X display.
int saverCommand(std::span<char* const> words);

// The small tools, run by `floodmark` itself without loading any graphics library: agents run
// the hook on every tool call, so it must start fast.
int hookCommand(std::span<char* const> words);
int signalCommand(std::span<char* const> words);
int statusCommand(std::span<char* const> words);
int awayCommand(std::span<char* const> words);
int demoCommand(std::span<char* const> words);

}  // namespace floodmark::app
