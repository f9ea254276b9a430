// Word splitting, ERR words, LIST framing and quoting of NUT's network protocol; no sockets.
#include "nutProtocol.h"

#include <stdlib.h>
#include <string.h>

namespace nutclient {

bool splitWords(const std::string& line, std::vector<std::string>* words) {
    words->clear();
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (size_t k = 0; k < line.size(); ++k) {
        const unsigned char c = (unsigned char)line[k];
        if (c < 0x20 && c != '\t') return false;
        if (c == '\\') {
            if (++k == line.size()) return false;
            // An escaped control character is still one.
            const unsigned char escaped = (unsigned char)line[k];
            if (escaped < 0x20 && escaped != '\t') return false;
            word += line[k];
            inWord = true;
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;  // "" is an empty word
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) words->push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += (char)c;
            inWord = true;
        }
    }
    if (quoted) return false;
    if (inWord) words->push_back(word);
    return true;
}

Error errorOfWord(const std::string& word) {
    static const struct {
        const char* word;
        Error error;
    } kWords[] = {
        {"DATA-STALE", Error::DataStale},
        {"DRIVER-NOT-CONNECTED", Error::DriverNotConnected},
        {"UNKNOWN-UPS", Error::UnknownUps},
        {"ACCESS-DENIED", Error::AccessDenied},
        {"INVALID-PASSWORD", Error::InvalidPassword},
        {"INVALID-USERNAME", Error::InvalidPassword},
        {"USERNAME-REQUIRED", Error::InvalidPassword},
        {"PASSWORD-REQUIRED", Error::InvalidPassword},
    };
    for (const auto& w : kWords)
        if (word == w.word) return w.error;
    return Error::Server;
}

std::string quoteValue(const std::string& value) {
    std::string quoted = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

Error simpleAnswer(const std::string& line, std::string* word) {
    std::vector<std::string> words;
    word->clear();
    if (!splitWords(line, &words) || words.empty()) return Error::Protocol;
    if (words[0] == "OK") return Error::None;
    if (words[0] != "ERR" || words.size() < 2) return Error::Protocol;
    *word = words[1];
    return errorOfWord(words[1]);
}

bool ListAnswer::fail(Error e) {
    m_error = e;
    m_entries.clear();
    return true;
}

bool ListAnswer::startsWithHead(const std::vector<std::string>& words, size_t from) const {
    if (words.size() < from + m_head.size()) return false;
    for (size_t k = 0; k < m_head.size(); ++k)
        if (words[from + k] != m_head[k]) return false;
    return true;
}

bool ListAnswer::feed(const std::string& line) {
    if (m_error != Error::None) return true;
    std::vector<std::string> words;
    if (!splitWords(line, &words) || words.empty()) return fail(Error::Protocol);
    if (!m_begun) {
        if (words[0] == "ERR") {
            if (words.size() < 2) return fail(Error::Protocol);
            m_word = words[1];
            return fail(errorOfWord(words[1]));
        }
        const bool begin = words.size() == 2 + m_head.size() && words[0] == "BEGIN" &&
                           words[1] == "LIST" && startsWithHead(words, 2);
        if (!begin) return fail(Error::Protocol);
        m_begun = true;
        return false;
    }
    if (words[0] == "END") {
        const bool end =
            words.size() == 2 + m_head.size() && words[1] == "LIST" && startsWithHead(words, 2);
        return end ? true : fail(Error::Protocol);
    }
    if (!startsWithHead(words, 0) || words.size() == m_head.size()) return fail(Error::Protocol);
    if (m_entries.size() >= kMaxEntries) return fail(Error::Protocol);
    m_entries.emplace_back(words.begin() + (long)m_head.size(), words.end());
    return false;
}

bool parseType(const std::vector<std::string>& words, const std::string& ups,
               const std::string& name, VariableType* out) {
    if (words.size() < 4 || words[0] != "TYPE" || words[1] != ups || words[2] != name) return false;
    VariableType t;
    for (size_t k = 3; k < words.size(); ++k) {
        const std::string& w = words[k];
        if (w == "RW") {
            t.rw = true;
        } else if (w == "ENUM") {
            t.isEnum = true;
        } else if (w == "RANGE") {
            t.isRange = true;
        } else if (w == "NUMBER") {
            t.isNumber = true;
        } else if (w.compare(0, 7, "STRING:") == 0) {
            const char* digits = w.c_str() + 7;
            char* end = nullptr;
            const long n = strtol(digits, &end, 10);
            if (*digits < '0' || *digits > '9' || *end != '\0' || n > 65535) return false;
            t.isString = true;
            t.maxLength = (int)n;
        }
        // Other words (UNKNOWN, later flags) say nothing we act on.
    }
    *out = t;
    return true;
}

}  // namespace nutclient
