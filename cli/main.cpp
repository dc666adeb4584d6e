// plotwick-cli: the model, renderers and writers of the desktop program, without a window.
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/Report.h"
#include "model/BParser.h"

#ifndef PLOTWICK_VERSION
#define PLOTWICK_VERSION "0"
#endif

using namespace plotwick::cli;

namespace {

void PrintHelp(std::ostream& out)
{
    out << "Usage: plotwick-cli <command> [options] ...\n"
           "       plotwick-cli --help | --version\n\n"
           "Reads the drawings of a HotSync user folder and exports them.\n\nCommands:\n";
    for (const Command& c : Commands())
        out << "  " << c.usage.substr(0, c.usage.find('\n')) << "\n";
    out << "\nRun 'plotwick-cli <command> --help' for a command's options.\n"
           "Exit status: 0 success, 1 a data or file error, 2 a usage error.\n"
        << kEscapeHelp;
}

}  // namespace

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintHelp(std::cerr);
        return kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintHelp(std::cout);
        return kExitOk;
    }
    if (args[0] == "--version") {
        std::cout << "plotwick-cli " << PLOTWICK_VERSION << "\n";
        return kExitOk;
    }
    for (const Command& c : Commands()) {
        if (c.name != args[0])
            continue;
        std::vector<std::string> rest(args.begin() + 1, args.end());
        for (const std::string& a : rest) {
            if (a == "--")
                break;
            if (a == "--help") {
                std::cout << "Usage: plotwick-cli " << c.usage << "\n";
                return kExitOk;
            }
        }
        try {
            const int status = c.run(rest);
            std::cout.flush();
            return status;
        } catch (const UsageError& e) {
            std::cout.flush();
            std::cerr << "plotwick-cli: " << e.what() << "\nUsage: plotwick-cli "
                      << c.usage.substr(0, c.usage.find('\n')) << "\n";
            return kExitUsage;
        } catch (const PathError& e) {
            std::cout.flush();
            ReportError(e.path, e.what());
            return kExitDataError;
        } catch (const std::bad_alloc&) {
            std::cout.flush();
            std::cerr << "plotwick-cli: out of memory\n";
            return kExitDataError;
        } catch (const std::exception& e) {
            std::cout.flush();
            std::cerr << "plotwick-cli: " << e.what() << "\n";
            return kExitDataError;
        }
    }
    std::cerr << "plotwick-cli: unknown command '" << args[0] << "'\n";
    PrintHelp(std::cerr);
    return kExitUsage;
}
