// The help source markup: parsing and checking.
#include "tools/hlpc/source.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "tools/hlpc/codepage.h"
#include "tools/hlpc/hash.h"

namespace {

std::string Trim(const std::string& s)
{
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    const size_t last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

std::vector<std::string> Split(const std::string& s, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = s.find(separator, start);
        parts.push_back(Trim(s.substr(start, at - start)));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

bool IsContextId(const std::string& id)
{
    return !id.empty() && std::all_of(id.begin(), id.end(), IsContextChar);
}

// Decimal or 0x hexadecimal, within 32 bits.
bool ParseNumber(const std::string& token, uint32_t* value)
{
    if (token.empty() || token[0] < '0' || token[0] > '9')
        return false;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(token.c_str(), &end, 0);
    if (*end != '\0' || v > 0xFFFFFFFFull)
        return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Splits text into plain runs and [words](id) jumps.
Text ParseSpans(const std::string& s)
{
    Text spans;
    std::string plain;
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '[') {
            const size_t close = s.find("](", i + 1);
            const size_t end = close == std::string::npos ? close : s.find(')', close + 2);
            if (end != std::string::npos && close > i + 1) {
                const std::string target = s.substr(close + 2, end - close - 2);
                if (IsContextId(target)) {
                    if (!plain.empty())
                        spans.push_back({plain, ""});
                    plain.clear();
                    spans.push_back({s.substr(i + 1, close - i - 1), target});
                    i = end + 1;
                    continue;
                }
            }
        }
        plain.push_back(s[i++]);
    }
    if (!plain.empty())
        spans.push_back({plain, ""});
    return spans;
}

class Parser {
public:
    Parser(const IdTable& ids, HelpSource* out, std::vector<SourceError>* errors)
        : ids_(ids), out_(out), errors_(errors)
    {
    }

    void Line(int number, const std::string& raw)
    {
        line_ = number;
        std::string text;
        std::string bad;
        if (!Utf8ToCp1252(raw, &text, &bad)) {
            Error(bad + " cannot be written in code page 1252");
            return;
        }
        for (char& c : text) {
            if (c == '\t')
                c = ' ';
            else if (static_cast<unsigned char>(c) < 0x20) {
                Error("control character in the text");
                return;
            }
        }
        if (!text.empty() && text[0] == '#')
            return;
        const std::string trimmed = Trim(text);
        if (trimmed.empty()) {
            EndParagraph();
            table_ = nullptr;
            return;
        }
        if (text[0] == '.') {
            EndParagraph();
            const size_t space = text.find(' ');
            Directive(text.substr(1, space == std::string::npos ? space : space - 1),
                      space == std::string::npos ? "" : Trim(text.substr(space)));
            return;
        }
        table_ = nullptr;
        if (topic_ == nullptr) {
            if (!skipping_)
                Error("text before the first .topic");
            return;
        }
        if (paragraphLine_ == 0)
            paragraphLine_ = line_;
        paragraph_ += (paragraph_.empty() ? "" : " ") + trimmed;
    }

    void Finish(int lastLine)
    {
        EndParagraph();
        line_ = lastLine;
        if (out_->topics.empty()) {
            if (errors_->empty())
                errors_->push_back({1, "the source holds no topic"});
            return;
        }
        CheckTopics();
        if (out_->title.empty())
            out_->title = out_->topics[out_->contents].title;
    }

private:
    void Error(const std::string& message) { errors_->push_back({line_, message}); }

    bool NeedTopic(const std::string& directive)
    {
        if (topic_ == nullptr && !skipping_)
            Error("." + directive + " before the first .topic");
        return topic_ != nullptr;
    }

    void SetOnce(std::string* field, const std::string& value, const std::string& directive)
    {
        if (value.empty())
            Error("." + directive + " needs a text");
        else if (!field->empty())
            Error("a second ." + directive);
        else
            *field = value;
    }

    void Directive(const std::string& name, const std::string& arg)
    {
        if (name != "row")
            table_ = nullptr;
        if (name == "file")
            SetOnce(&out_->title, arg, name);
        else if (name == "copyright")
            SetOnce(&out_->copyright, arg, name);
        else if (name == "readmetitle")
            SetOnce(&out_->readmeTitle, arg, name);
        else if (name == "topic")
            StartTopic(arg);
        else if (name == "title" && NeedTopic(name))
            Title(arg);
        else if (name == "keywords" && NeedTopic(name))
            Keywords(arg);
        else if (name == "map" && NeedTopic(name))
            Map(arg);
        else if (name == "contents" && NeedTopic(name))
            Contents();
        else if (name == "readme" && NeedTopic(name))
            topic_->readme = true;
        else if (name == "table" && NeedTopic(name))
            StartTable(arg);
        else if (name == "row" && NeedTopic(name))
            Row(arg);
        else if (name != "title" && name != "keywords" && name != "map" && name != "contents" &&
                 name != "readme" && name != "table" && name != "row")
            Error("unknown directive ." + name);
    }

    void StartTopic(const std::string& id)
    {
        // Until the next sound .topic, the lines of a refused one are skipped.
        skipping_ = true;
        if (!IsContextId(id)) {
            Error(".topic needs an id of letters, digits, '.' and '_'");
            topic_ = nullptr;
            return;
        }
        for (const Topic& t : out_->topics) {
            if (Lower(t.id) == Lower(id)) {
                Error("topic id '" + id + "' is already used at line " + std::to_string(t.line));
                topic_ = nullptr;
                return;
            }
        }
        skipping_ = false;
        out_->topics.emplace_back();
        topic_ = &out_->topics.back();
        topic_->line = line_;
        topic_->id = id;
    }

    void Title(const std::string& title)
    {
        if (title.size() > kMaxTitleBytes)
            Error("a title of " + std::to_string(title.size()) + " characters; at most " +
                  std::to_string(kMaxTitleBytes));
        else
            SetOnce(&topic_->title, title, "title");
    }

    void Keywords(const std::string& arg)
    {
        for (const std::string& k : Split(arg, ';')) {
            if (k.empty())
                continue;
            if (k.size() > kMaxKeywordBytes) {
                Error("a keyword of " + std::to_string(k.size()) + " characters; at most " +
                      std::to_string(kMaxKeywordBytes));
                continue;
            }
            // The viewer's index can lead from a keyword to one topic only.
            const auto [at, fresh] = keywordLines_.emplace(Lower(k), line_);
            if (!fresh)
                Error("keyword '" + k + "' is already given at line " + std::to_string(at->second));
            else
                topic_->keywords.push_back(k);
        }
    }

    void Map(const std::string& arg)
    {
        for (const std::string& token : Split(arg, ' ')) {
            if (token.empty())
                continue;
            uint32_t value = 0;
            if (!ParseNumber(token, &value)) {
                const auto found = ids_.find(token);
                if (found == ids_.end()) {
                    Error("unknown context number '" + token + "'");
                    continue;
                }
                value = found->second;
            }
            const auto [at, fresh] = numberLines_.emplace(value, line_);
            if (!fresh)
                Error("context number " + std::to_string(value) + " is already mapped at line " +
                      std::to_string(at->second));
            else
                topic_->numbers.push_back(value);
        }
    }

    void Contents()
    {
        if (contentsLine_ != 0) {
            Error("a second .contents (the first is at line " + std::to_string(contentsLine_) + ")");
            return;
        }
        contentsLine_ = line_;
        out_->contents = out_->topics.size() - 1;
    }

    void StartTable(const std::string& arg)
    {
        Block block{line_, {}, Split(arg, '|'), {}};
        for (const std::string& c : block.columns) {
            if (c.empty()) {
                Error(".table needs a name for every column");
                return;
            }
        }
        topic_->blocks.push_back(block);
        table_ = &topic_->blocks.back();
    }

    void Row(const std::string& arg)
    {
        if (table_ == nullptr) {
            Error(".row outside a table");
            return;
        }
        const std::vector<std::string> cells = Split(arg, '|');
        if (cells.size() != table_->columns.size()) {
            Error("a row of " + std::to_string(cells.size()) + " cells in a table of " +
                  std::to_string(table_->columns.size()) + " columns");
            return;
        }
        TableRow row{line_, {}};
        size_t bytes = 0;
        for (const std::string& c : cells) {
            row.cells.push_back(ParseSpans(c));
            bytes += c.size();
        }
        if (cells[0].empty())
            Error("a row needs a first cell");
        else if (bytes > kMaxParagraphBytes)
            Error("a row of " + std::to_string(bytes) + " bytes; at most " +
                  std::to_string(kMaxParagraphBytes));
        else
            table_->rows.push_back(row);
    }

    void EndParagraph()
    {
        if (paragraph_.empty())
            return;
        if (paragraph_.size() > kMaxParagraphBytes) {
            errors_->push_back({paragraphLine_, "a paragraph of " + std::to_string(paragraph_.size()) +
                                                    " bytes; at most " +
                                                    std::to_string(kMaxParagraphBytes)});
        } else if (topic_ != nullptr) {
            topic_->blocks.push_back({paragraphLine_, ParseSpans(paragraph_), {}, {}});
        }
        paragraph_.clear();
        paragraphLine_ = 0;
    }

    void CheckTargets(const Text& text, int line, const std::set<std::string>& ids)
    {
        for (const Span& s : text)
            if (!s.target.empty() && ids.count(Lower(s.target)) == 0)
                errors_->push_back({line, "jump to unknown topic '" + s.target + "'"});
    }

    void CheckTopics()
    {
        std::set<std::string> ids;
        std::map<int32_t, const Topic*> hashes;
        for (const Topic& t : out_->topics) {
            ids.insert(Lower(t.id));
            if (t.title.empty())
                errors_->push_back({t.line, "topic '" + t.id + "' has no .title"});
            const auto [at, fresh] = hashes.emplace(ContextHash(t.id), &t);
            if (!fresh)
                errors_->push_back({t.line, "topic id '" + t.id + "' has the same hash as '" +
                                                at->second->id + "' at line " +
                                                std::to_string(at->second->line)});
        }
        for (const Topic& t : out_->topics) {
            for (const Block& b : t.blocks) {
                CheckTargets(b.paragraph, b.line, ids);
                for (const TableRow& r : b.rows)
                    for (const Text& c : r.cells)
                        CheckTargets(c, r.line, ids);
            }
        }
    }

    const IdTable& ids_;
    HelpSource* out_;
    std::vector<SourceError>* errors_;
    int line_ = 0;
    Topic* topic_ = nullptr;
    bool skipping_ = false;  // after a refused .topic
    Block* table_ = nullptr;
    std::string paragraph_;
    int paragraphLine_ = 0;
    int contentsLine_ = 0;
    std::map<std::string, int> keywordLines_;
    std::map<uint32_t, int> numberLines_;
};

}  // namespace

void ReadIdHeader(const std::string& header, IdTable* ids)
{
    size_t start = 0;
    while (start < header.size()) {
        size_t end = header.find('\n', start);
        if (end == std::string::npos)
            end = header.size();
        std::string line = header.substr(start, end - start);
        start = end + 1;
        for (const char* opener : {"//", "/*"}) {
            const size_t comment = line.find(opener);
            if (comment != std::string::npos)
                line.erase(comment);
        }
        std::string name, value;
        line = Trim(line);
        if (line.rfind("#define", 0) == 0) {
            std::vector<std::string> words = Split(Trim(line.substr(7)), ' ');
            words.erase(std::remove(words.begin(), words.end(), ""), words.end());
            if (words.size() == 2) {
                name = words[0];
                value = words[1];
            }
        } else {
            const size_t eq = line.find('=');
            if (eq != std::string::npos) {
                name = Trim(line.substr(0, eq));
                value = Trim(line.substr(eq + 1));
                if (!value.empty() && value.back() == ',')
                    value.pop_back();
                value = Trim(value);
            }
        }
        while (!value.empty() && (value.back() == 'u' || value.back() == 'U' || value.back() == ')'))
            value.pop_back();
        while (!value.empty() && value.front() == '(')
            value.erase(0, 1);
        uint32_t number = 0;
        if (IsContextId(name) && ParseNumber(value, &number))
            ids->emplace(name, number);
    }
}

std::string PlainText(const Text& text)
{
    std::string plain;
    for (const Span& s : text)
        plain += s.text;
    return plain;
}

bool ParseHelpSource(const std::string& utf8, const IdTable& ids, HelpSource* out,
                     std::vector<SourceError>* errors)
{
    HelpSource source;
    std::vector<SourceError> found;
    Parser parser(ids, &source, &found);
    int number = 0;
    size_t start = 0;
    while (start < utf8.size()) {
        size_t end = utf8.find('\n', start);
        if (end == std::string::npos)
            end = utf8.size();
        std::string line = utf8.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        parser.Line(++number, line);
        start = end + 1;
    }
    parser.Finish(number);
    std::stable_sort(found.begin(), found.end(),
                     [](const SourceError& a, const SourceError& b) { return a.line < b.line; });
    *errors = found;
    if (!found.empty())
        return false;
    *out = std::move(source);
    return true;
}
