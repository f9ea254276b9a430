// Fuzzes the NUT client's answer parser: the input's lines are split into
// words (a quoted word must read back as itself) and fed as the answer to
// LIST VAR; what the list gives is mapped by nutFacts. Any input must end in
// an entry list within the bounds, or an error, without a crash.
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <utility>
#include <vector>

#include "nutProtocol.h"
#include "nutView.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    nutclient::ListAnswer answer({"VAR", "ups"});
    bool done = false;
    size_t at = 0;
    while (!done && at <= input.size()) {
        size_t end = input.find('\n', at);
        if (end == std::string::npos) end = input.size();
        const std::string line = input.substr(at, end - at);
        at = end + 1;
        std::vector<std::string> words;
        if (nutclient::splitWords(line, &words)) {
            for (const std::string& word : words) {
                std::vector<std::string> again;
                if (!nutclient::splitWords(nutclient::quoteValue(word), &again) ||
                    again.size() != 1 || again[0] != word)
                    abort();
            }
        }
        std::string word;
        nutclient::simpleAnswer(line, &word);
        done = answer.feed(line);
    }
    if (answer.entries().size() > nutclient::kMaxEntries) abort();
    std::vector<std::pair<std::string, std::string>> vars;
    for (const auto& entry : answer.entries())
        vars.emplace_back(entry[0], entry.size() > 1 ? entry[1] : std::string());
    const qxwatch::NutFacts facts = qxwatch::nutFacts(vars);
    if (facts.view.hasVoltages && facts.view.voltageInputMv > 65535) abort();
    return 0;
}
