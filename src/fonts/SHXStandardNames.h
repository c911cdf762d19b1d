#pragma once
// The shape fonts every drawing program ships and every writer names (txt,
// simplex, romans, isocp, ...). A drawing that asks for one of them expects the
// standard look, which our bundled fonts give: standing in for them is the
// normal case and not worth a warning.
#include <string_view>

// True for a standard font name, with or without folder and ".shx", any case.
bool qdIsStandardSHXName(std::string_view Name);
