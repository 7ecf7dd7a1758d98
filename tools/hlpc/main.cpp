// hlpc: compiles a help source into a WinHelp 3.1 file and, if asked, the plain-text readme.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/hlpc/hlpfile.h"
#include "tools/hlpc/readme.h"
#include "tools/hlpc/source.h"

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: hlpc [--ids HEADER]... [--readme OUT.TXT] SOURCE OUT.HLP\n");
    return 64;
}

bool ReadFile(const std::string& path, std::string* text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    *text = s.str();
    return true;
}

// Writes through a temporary file, so a failed run leaves no half-written output.
bool WriteFile(const std::string& path, const std::string& bytes)
{
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())))
            return false;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

// The build time for |SYSTEM: SOURCE_DATE_EPOCH when set, so that a build
// can be reproduced byte for byte; otherwise 0.
uint32_t BuildTime()
{
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    return epoch != nullptr ? static_cast<uint32_t>(std::strtoul(epoch, nullptr, 10)) : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> headers, positional;
    std::string readmePath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--ids" && i + 1 < argc)
            headers.push_back(argv[++i]);
        else if (arg == "--readme" && i + 1 < argc)
            readmePath = argv[++i];
        else if (!arg.empty() && arg[0] == '-')
            return Usage();
        else
            positional.push_back(arg);
    }
    if (positional.size() != 2)
        return Usage();
    const std::string& sourcePath = positional[0];
    const std::string& outPath = positional[1];

    IdTable ids;
    for (const std::string& h : headers) {
        std::string text;
        if (!ReadFile(h, &text)) {
            std::fprintf(stderr, "hlpc: cannot read %s\n", h.c_str());
            return 1;
        }
        ReadIdHeader(text, &ids);
    }
    std::string text;
    if (!ReadFile(sourcePath, &text)) {
        std::fprintf(stderr, "hlpc: cannot read %s\n", sourcePath.c_str());
        return 1;
    }
    HelpSource source;
    std::vector<SourceError> errors;
    if (!ParseHelpSource(text, ids, &source, &errors)) {
        for (const SourceError& e : errors)
            std::fprintf(stderr, "%s:%d: %s\n", sourcePath.c_str(), e.line, e.message.c_str());
        return 1;
    }
    Bytes file;
    std::string error;
    if (!BuildHelpFile(source, BuildTime(), &file, &error)) {
        std::fprintf(stderr, "%s: %s\n", sourcePath.c_str(), error.c_str());
        return 1;
    }
    if (!WriteFile(outPath, std::string(file.begin(), file.end()))) {
        std::fprintf(stderr, "hlpc: cannot write %s\n", outPath.c_str());
        return 1;
    }
    if (!readmePath.empty() && !WriteFile(readmePath, RenderReadme(source))) {
        std::fprintf(stderr, "hlpc: cannot write %s\n", readmePath.c_str());
        return 1;
    }
    return 0;
}
