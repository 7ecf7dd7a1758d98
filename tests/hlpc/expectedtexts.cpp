// What the records of a compiled topic must say (see expectedtexts.h).
#include "tests/hlpc/expectedtexts.h"

std::vector<std::string> ExpectedTexts(const Topic& topic)
{
    std::vector<std::string> texts = {topic.title};
    for (const Block& b : topic.blocks) {
        if (!b.IsTable()) {
            texts.push_back(PlainText(b.paragraph));
            continue;
        }
        for (const TableRow& r : b.rows) {
            texts.push_back(PlainText(r.cells[0]));
            std::string d = r.cells.size() > 1 ? PlainText(r.cells[1]) : "";
            for (size_t i = 2; i < r.cells.size(); ++i)
                if (!r.cells[i].empty())
                    d += " (" + b.columns[i] + ": " + PlainText(r.cells[i]) + ")";
            if (!d.empty())
                texts.push_back(d);
        }
    }
    return texts;
}
