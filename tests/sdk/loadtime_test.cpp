// Environment defaults set when the library is loaded. Each case starts a
// probe linked with the library in a controlled environment and reads what
// the probe finds in its own environment.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

namespace {

typedef std::map<std::string, std::string> Vars;

// Runs the probe with exactly `env` as its environment; returns NAME -> value.
Vars probe(const std::vector<std::string>& env) {
    std::vector<char*> envp;
    for (const std::string& entry : env)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(QXUPS_LOADTIME_PROBE), nullptr};

    int fds[2];
    EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    EXPECT_EQ(rc, 0) << "cannot start " << argv[0];

    std::string out;
    char buf[256];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        out.append(buf, (size_t)n);
    close(fds[0]);
    int status = -1;
    if (rc == 0)
        waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "probe status " << status;

    Vars vars;
    size_t pos = 0;
    for (size_t eol; (eol = out.find('\n', pos)) != std::string::npos; pos = eol + 1) {
        std::string line = out.substr(pos, eol - pos);
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            vars[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return vars;
}

const Vars kDefaults = {{"MODBUS_LOGFILE", "d:\\debug.log"},
                        {"MODBUS_LOGMODULES", "0xFFFF"},
                        {"MODBUS_LOGLEVELS", "4"}};

TEST(LoadTime, AbsentVariablesGetDefaults) {
    EXPECT_EQ(probe({}), kDefaults);
    // Unrelated variables do not matter.
    EXPECT_EQ(probe({"HOME=/tmp", "MODBUS_LOG=1"}), kDefaults);
}

TEST(LoadTime, PresetValuesAreKept) {
    Vars expected = kDefaults;
    expected["MODBUS_LOGLEVELS"] = "7";
    EXPECT_EQ(probe({"MODBUS_LOGLEVELS=7"}), expected);

    // Set but empty still counts as set.
    expected["MODBUS_LOGLEVELS"] = "";
    EXPECT_EQ(probe({"MODBUS_LOGLEVELS="}), expected);

    expected = kDefaults;
    expected["MODBUS_LOGFILE"] = "/var/tmp/modbus.log";
    EXPECT_EQ(probe({"MODBUS_LOGFILE=/var/tmp/modbus.log"}), expected);

    const Vars all = {
        {"MODBUS_LOGFILE", "a"}, {"MODBUS_LOGMODULES", "b"}, {"MODBUS_LOGLEVELS", "c"}};
    EXPECT_EQ(probe({"MODBUS_LOGMODULES=b", "MODBUS_LOGFILE=a", "MODBUS_LOGLEVELS=c"}), all);
}

}  // namespace
