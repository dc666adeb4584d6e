// One database (drawings, library or fonts): a folder of record files and its header file.
#pragma once

#include <cstdint>
#include <string>

namespace plotwick {

enum DbKind : std::uint8_t { kDrawings = 0, kLibrary = 1, kFonts = 2 };

class TDrawDB {
public:
    // Reads the header file FPath + ".dat" (name compared without regard to case); does
    // nothing when it does not exist. Raises "Incorrect data format." for a short header.
    void ReadHeader();

    std::int32_t FHeaderSize = 0;
    std::uint8_t FKind = 0;
    std::string FPath;
    std::string FName;
    std::string FTitle;
    float FVersion = 0.0f;
    std::uint8_t FHeaderByte1 = 0;
    std::uint8_t FHeaderByte2 = 0;
    std::uint8_t FHeaderByte3 = 0;
    std::uint16_t FHeaderWord = 0;
};

}  // namespace plotwick
