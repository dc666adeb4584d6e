// Running a program from a test: its exit status and everything it printed.
#pragma once

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

}  // namespace plotwick::fixture
