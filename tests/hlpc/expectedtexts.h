// What the records of a compiled topic must say, from its source: shared by
// the round-trip tests and the help-source fuzz target.
#pragma once

#include <string>
#include <vector>

#include "tools/hlpc/source.h"

// The title heading, each paragraph, and per table row the term and (when
// there is one) its description with the further columns in brackets.
std::vector<std::string> ExpectedTexts(const Topic& topic);
