#include "tests/support/Process.h"

#include <unistd.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "tests/support/Fixture.h"

namespace plotwick::fixture {

std::string ShellQuote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

ProcessResult RunCommand(const std::string& commandLine)
{
    TempDir tmp;
    const std::string cmd = commandLine + " >" + ShellQuote(tmp / "out") + " 2>" + ShellQuote(tmp / "err");
    const int raw = std::system(cmd.c_str());
    ProcessResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream o(tmp / "out", std::ios::binary), e(tmp / "err", std::ios::binary);
    r.out.assign(std::istreambuf_iterator<char>(o), {});
    r.err.assign(std::istreambuf_iterator<char>(e), {});
    return r;
}

bool HaveProgram(const std::string& name)
{
    return std::system(("command -v " + ShellQuote(name) + " >/dev/null 2>&1").c_str()) == 0;
}

std::optional<std::string> UnprivilegedPrefix()
{
    if (::geteuid() != 0)
        return std::string();
    if (!HaveProgram("setpriv"))
        return std::nullopt;
    return std::string("setpriv --reuid=65534 --regid=65534 --clear-groups -- ");
}

}  // namespace plotwick::fixture
