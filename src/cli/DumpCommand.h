#pragma once
// draftwell-cli dump: a drawing (or one item of it) as XML, or as the plain item tree.
#include <string>
#include <vector>

// Args[0] is "dump". Same exit statuses as RunCli.
int RunDump(const std::vector<std::string>& Args, std::string& Out, std::string& Err);

extern const char* const kDumpUsage;
