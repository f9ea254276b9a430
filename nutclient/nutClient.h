// A client of Network UPS Tools' network protocol (upsd, TCP 3493): the
// connection, its requests and the answers, bounded and with a time-out on
// every read, so that a hostile or broken server can neither crash nor hang
// its caller. Plain C++ on the system's sockets; no Qt.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

namespace nutclient {

// The outcome of a request. The ERR words of upsd that a caller acts on
// have their own value; every other ERR is Server (lastError() names it).
enum class Error {
    None,
    Refused,             // connect refused, host unknown or unreachable
    Closed,              // the server closed the connection
    Timeout,             // no (complete) answer within the time-out
    Protocol,            // an answer that breaks the protocol (too long, malformed)
    DataStale,           // ERR DATA-STALE
    DriverNotConnected,  // ERR DRIVER-NOT-CONNECTED
    UnknownUps,          // ERR UNKNOWN-UPS
    AccessDenied,        // ERR ACCESS-DENIED
    InvalidPassword,     // ERR INVALID-PASSWORD / INVALID-USERNAME / USERNAME-REQUIRED /
                         // PASSWORD-REQUIRED
    Server,              // any other ERR word
};

// "connection refused", "data stale", ... for log lines and messages.
const char* errorText(Error e);
// Errors that the same request will meet again: said once, not retried for ever.
bool isPermanent(Error e);  // UnknownUps, AccessDenied, InvalidPassword

const uint16_t kDefaultPort = 3493;

// UPS@HOST[:PORT], HOST may be [v6]; false with a reason for anything else.
// UPS may be empty ("@HOST": LIST UPS needs only the host).
struct Target {
    std::string ups;
    std::string host;
    uint16_t port = kDefaultPort;
};
bool parseTarget(const std::string& text, Target* out, std::string* why);

struct Variable {
    std::string name;
    std::string value;
};

struct UpsEntry {
    std::string name;
    std::string description;
};

// What GET TYPE, LIST ENUM and LIST RANGE say of a writable variable.
struct VariableType {
    bool rw = false;
    bool isEnum = false;
    bool isRange = false;
    bool isString = false;
    int maxLength = 0;  // STRING:n
    bool isNumber = false;
};

class Connection {
public:
    explicit Connection(int timeoutMs = 5000);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects (with the time-out) and says VER-less hello: nothing is sent
    // until the first request.
    Error open(const std::string& host, uint16_t port);
    void close();
    bool isOpen() const;

    Error listUps(std::vector<UpsEntry>* out);
    Error listVar(const std::string& ups, std::vector<Variable>* out);
    Error listRw(const std::string& ups, std::vector<Variable>* out);
    Error getType(const std::string& ups, const std::string& name, VariableType* out);
    Error listEnum(const std::string& ups, const std::string& name, std::vector<std::string>* out);
    Error listRange(const std::string& ups, const std::string& name,
                    std::vector<std::pair<long, long>>* out);
    // USERNAME then PASSWORD; the password is never logged or kept.
    Error login(const std::string& user, const std::string& password);
    Error setVar(const std::string& ups, const std::string& name, const std::string& value);

    // The ERR word of the last Server-kind error ("READONLY", "INVALID-VALUE", ...).
    const std::string& lastError() const { return m_lastError; }

private:
    Error sendLine(const std::string& line, long long deadlineMs);
    Error readLine(std::string* line, long long deadlineMs);
    // A request answered by one OK or ERR line.
    Error simple(const std::string& request);
    // LIST <head...>: the words after the head of each entry.
    Error list(const std::vector<std::string>& head,
               std::vector<std::vector<std::string>>* entries);
    Error listVariables(const char* kind, const std::string& ups, std::vector<Variable>* out);

    int m_fd = -1;  // a Winsock SOCKET fits in it too
    int m_timeoutMs;
    std::string m_lastError;
    std::string m_buffer;  // received bytes not yet taken as lines
};

}  // namespace nutclient
