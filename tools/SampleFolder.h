// The sample HotSync base folder that the program opens by default.
#pragma once

#include <string>
#include <vector>

#include "tests/support/Fixture.h"

namespace plotwick::sample {

inline constexpr const char* kUserId = "1001";
inline constexpr const char* kUserName = "Sample User";
inline constexpr const char* kUserFolder = "SampleUser";
inline constexpr const char* kSansFont = "VU Dedadiz";
inline constexpr const char* kSerifFont = "VU Serif";

// One record of a drawing or library database.
struct SampleRecord {
    std::string fileName;
    std::string name;
    fixture::Bytes stream;  // the shape stream after the thumbnail
};

// The records of the two drawing databases and of the library.
std::vector<SampleRecord> SketchbookRecords();
std::vector<SampleRecord> DoodlesRecords();
std::vector<SampleRecord> StencilsRecords();

// Draws every record of the user folder's databases and stores the picture as the record's
// 32 x 32 thumbnail, the texts set in the user folder's own fonts.
void StoreThumbnails(const std::string& userFolder);

// Writes the whole base folder: the sample user's folder and the users index, each replacing
// an earlier one whole; nothing else in base is touched. Throws when the system faces for the
// fonts are missing or a file cannot be written.
void WriteSampleBase(const std::string& base);

}  // namespace plotwick::sample
