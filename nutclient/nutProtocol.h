// The text side of NUT's network protocol: answer words, ERR words, LIST framing, quoting.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

#include "nutClient.h"

namespace nutclient {

// Bounds on what a server may send: a longer line, or a list with more
// entries, is a broken (or hostile) server.
const size_t kMaxLine = 4096;
const size_t kMaxEntries = 4096;

// Splits a line into words: blanks separate, "..." groups, a backslash
// takes the next character as it is (inside and outside quotes). False for
// an open quote, a lone backslash at the end, or a control character.
bool splitWords(const std::string& line, std::vector<std::string>* words);

// The Error of an ERR word ("DATA-STALE" -> DataStale, unknown -> Server).
Error errorOfWord(const std::string& word);

// A value as SET VAR takes it: in quotes, with '"' and '\' escaped.
std::string quoteValue(const std::string& value);

// A one-line answer: "OK ..." is None, "ERR WORD ..." its Error (the word in
// *word), anything else Protocol.
Error simpleAnswer(const std::string& line, std::string* word);

// Reads the answer to "LIST <head...>" line by line: BEGIN LIST <head>, then
// entries "<head> <rest...>", then END LIST <head>. An ERR instead of BEGIN
// ends it with that error; any other line, or more than kMaxEntries
// entries, with Protocol.
class ListAnswer {
public:
    explicit ListAnswer(std::vector<std::string> head) : m_head(std::move(head)) {}
    // Takes the next line: false while more lines are wanted; true when the
    // answer is complete or broken (then error() says which).
    bool feed(const std::string& line);
    Error error() const { return m_error; }
    const std::string& errorWord() const { return m_word; }
    // The words after the head of each entry.
    const std::vector<std::vector<std::string>>& entries() const { return m_entries; }

private:
    bool startsWithHead(const std::vector<std::string>& words, size_t from) const;
    bool fail(Error e);

    std::vector<std::string> m_head;
    std::vector<std::vector<std::string>> m_entries;
    bool m_begun = false;
    Error m_error = Error::None;
    std::string m_word;
};

// The answer to GET TYPE: "TYPE <ups> <name> <word...>" into *out; false
// for any other shape.
bool parseType(const std::vector<std::string>& words, const std::string& ups,
               const std::string& name, VariableType* out);

}  // namespace nutclient
