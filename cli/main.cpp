// plotwick-cli: the model, renderers and writers of the desktop program, without a window.
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || !defined(__GLIBC__)
void HeapInHugePages() {}  // the sanitizers' allocators have heaps of their own
#else
// Grows glibc's heap once by 256 MiB and asks for it in huge pages, and has allocations up to
// 32 MiB taken from it: a first touch of a 4 KiB page costs about 10 us on a virtual machine,
// and Cairo's PDF writer alone touched 5,600 new pages for a drawing of 20,000 instructions
// (21% of its time). The pages are only reserved here and cost memory as they are used; the
// heap goes on in ordinary pages past this size. Where the heap cannot grow, the block is
// mapped elsewhere and nothing is asked for.
void HeapInHugePages()
{
    constexpr std::size_t kReserve = std::size_t{256} << 20, kHugePage = std::size_t{2} << 20;
    if (mallopt(M_MMAP_THRESHOLD, 32 << 20) == 0 || mallopt(M_TRIM_THRESHOLD, 2 * kReserve) == 0 ||
        mallopt(M_TOP_PAD, kReserve) == 0)
        return;
    const auto before = reinterpret_cast<std::uintptr_t>(sbrk(0));
    void* volatile grown = std::malloc(std::size_t{1} << 20);  // volatile: kept, not folded away
    std::free(grown);
    const auto after = reinterpret_cast<std::uintptr_t>(sbrk(0));
    mallopt(M_TOP_PAD, 128 << 10);  // glibc's own, for any growth later
    const std::uintptr_t from = (before + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
    const std::uintptr_t to = after & ~(std::uintptr_t{kHugePage} - 1);
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}
#endif

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
        HeapInHugePages();
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
