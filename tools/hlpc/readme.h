// The plain-text readme: the topics marked .readme, as text of 72 columns.
#pragma once

#include <string>

#include "tools/hlpc/source.h"

inline constexpr size_t kReadmeColumns = 72;

// The readme: its title underlined with '=', then each topic marked
// .readme, in source order, with its title underlined with '-'; paragraphs
// filled to kReadmeColumns, table rows as terms with hanging descriptions;
// jumps as their words. Code page 1252 with CR LF line ends.
std::string RenderReadme(const HelpSource& source);
