#pragma once
// draftwell-cli convert: any drawing we read, saved as DXF.
#include <string>
#include <vector>

// Args[0] is "convert". Same exit statuses as RunCli.
int RunConvert(const std::vector<std::string>& Args, std::string& Out, std::string& Err);

extern const char* const kConvertUsage;
