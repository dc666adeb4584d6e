// plotwick-make-sample BASEFOLDER: writes the sample HotSync base folder that the program
// opens by default. The same system fonts give the same bytes on every run.
#include <cstring>
#include <exception>
#include <iostream>

#include "tools/SampleFolder.h"

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << "Usage: plotwick-make-sample BASEFOLDER\n"
                     "Writes the sample HotSync user \"" << plotwick::sample::kUserName << "\" into BASEFOLDER/"
                  << plotwick::sample::kUserFolder << " and the users index BASEFOLDER/users.txt,\n"
                     "replacing an earlier sample there. Fonts are converted from DejaVu Sans and DejaVu Serif\n"
                     "(or Liberation Sans and Serif), found through fontconfig.\n";
        return 0;
    }
    if (argc != 2 || argv[1][0] == '\0') {
        std::cerr << "Usage: plotwick-make-sample BASEFOLDER\n";
        return 2;
    }
    try {
        plotwick::sample::WriteSampleBase(argv[1]);
    } catch (const std::exception& e) {
        std::cerr << "plotwick-make-sample: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
