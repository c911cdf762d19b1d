#pragma once
// draftwell-cli's picture commands: "render", and "info --render" (adds the time of
// one full redraw). Everything else goes to RunCli.
#include <string>
#include <vector>

int RunCliWithRender(const std::vector<std::string>& Args, std::string& Out, std::string& Err);

// "render" alone (Args[0] is "render").
int RenderCommand(const std::vector<std::string>& Args, std::string& Out, std::string& Err);
