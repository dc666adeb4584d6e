// Running a program from a test: its exit status and everything it printed.
#pragma once

#include <optional>
#include <string>

namespace plotwick::fixture {

struct ProcessResult {
    int status = -1;  // the exit status, -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Quotes one argument for the shell.
std::string ShellQuote(const std::string& s);
// Runs a shell command line, capturing standard output and standard error.
ProcessResult RunCommand(const std::string& commandLine);
// True when the named program is on the PATH.
bool HaveProgram(const std::string& name);
// What runs a command line as an ordinary user, so that file permissions hold: nothing when
// the tests are not run as root, setpriv to the user nobody (65534) when they are; no value
// when they are and setpriv is missing.
std::optional<std::string> UnprivilegedPrefix();

}  // namespace plotwick::fixture
