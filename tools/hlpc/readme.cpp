// The plain-text readme rendered from the topics marked .readme.
#include "tools/hlpc/readme.h"

#include <algorithm>
#include <sstream>
#include <vector>

namespace {

constexpr size_t kTermIndent = 2;
constexpr size_t kWidestAlignedTerm = 14;

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    std::string w;
    while (in >> w)
        words.push_back(w);
    return words;
}

// Fills text into lines: the first starts with lead (padded to indent), the
// rest with indent spaces.
void Fill(const std::string& lead, size_t indent, const std::string& text, std::string* out)
{
    std::string line = lead;
    if (line.size() < indent)
        line.resize(indent, ' ');
    else if (!lead.empty()) {
        *out += line + "\r\n";
        line.assign(indent, ' ');
    }
    bool empty = true;
    for (const std::string& w : Words(text)) {
        if (!empty && line.size() + 1 + w.size() > kReadmeColumns) {
            *out += line + "\r\n";
            line.assign(indent, ' ');
            empty = true;
        }
        line += (empty ? "" : " ") + w;
        empty = false;
    }
    *out += line + "\r\n";
}

void Underlined(const std::string& title, char rule, std::string* out)
{
    *out += title + "\r\n" + std::string(title.size(), rule) + "\r\n";
}

std::string RowDescription(const Block& table, const TableRow& row)
{
    std::string text = row.cells.size() > 1 ? PlainText(row.cells[1]) : "";
    for (size_t c = 2; c < row.cells.size(); ++c)
        if (!row.cells[c].empty())
            text += " (" + table.columns[c] + ": " + PlainText(row.cells[c]) + ")";
    return text;
}

void Table(const Block& table, std::string* out)
{
    size_t widest = 0;
    for (const TableRow& row : table.rows)
        widest = std::max(widest, PlainText(row.cells[0]).size());
    widest = std::min(widest, kWidestAlignedTerm);
    const size_t indent = kTermIndent + widest + 2;
    for (const TableRow& row : table.rows)
        Fill(std::string(kTermIndent, ' ') + PlainText(row.cells[0]), indent,
             RowDescription(table, row), out);
}

}  // namespace

std::string RenderReadme(const HelpSource& source)
{
    std::string out;
    Underlined(source.readmeTitle.empty() ? source.title : source.readmeTitle, '=', &out);
    for (const Topic& t : source.topics) {
        if (!t.readme)
            continue;
        out += "\r\n";
        Underlined(t.title, '-', &out);
        for (const Block& b : t.blocks) {
            out += "\r\n";
            if (b.IsTable())
                Table(b, &out);
            else
                Fill("", 0, PlainText(b.paragraph), &out);
        }
    }
    return out;
}
