#pragma once

#include <span>

namespace floodmark::app {

// Each command takes the words after its name and returns the process's exit status.
int framesCommand(std::span<char* const> words);
int snapshotCommand(std::span<char* const> words);
int renderCommand(std::span<char* const> words);
// No command: the saver on the X display.
int saverCommand(std::span<char* const> words);

}  // namespace floodmark::app
