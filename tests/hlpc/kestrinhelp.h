// The program's own help source, parsed as the build parses it, for the tests that read it.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

#include "tools/hlpc/source.h"

inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// help/kestrin.hlpsrc with the command names of the program's headers.
inline bool ParseKestrinHelp(HelpSource* source, std::vector<SourceError>* errors)
{
    IdTable ids;
    std::istringstream headers(HELP_ID_HEADERS);  // '|'-separated paths
    std::string path;
    while (std::getline(headers, path, '|'))
        ReadIdHeader(ReadAll(path), &ids);
    return ParseHelpSource(ReadAll(KESTRIN_SOURCE_DIR "/help/kestrin.hlpsrc"), ids, source, errors);
}
