#pragma once
// draftwell-cli's commands, callable in-process (the tests use them that way).
#include <string>
#include <vector>

// Runs the command line Args (without the program name); fills Out and Err and
// returns the exit status: 0 done, 1 a file could not be read, 2 usage error.
int RunCli(const std::vector<std::string>& Args, std::string& Out, std::string& Err);

// The picture commands (render, thumbnail) live in the library over the toolkit,
// which installs them here; RunCli runs them by name once installed.
using TCliCommand = int (*)(const std::vector<std::string>& Args, std::string& Out, std::string& Err);
void SetCliPictureCommands(TCliCommand Render, TCliCommand Thumbnail);

// Registers what the commands open (every reader, the drawing picture classes);
// safe to call more than once.
void RegisterCliFormats();
