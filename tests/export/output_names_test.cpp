// The file name proposed for a drawing: no '/', no control character, at most so many bytes,
// never cut inside a character.
#include <gtest/gtest.h>

#include "export/OutputNames.h"

namespace plotwick {
namespace {

TEST(SafeFileNameTest, MakesANameSafe)
{
    const struct {
        std::string name;
        std::size_t maxBytes;
        std::string safe;
    } cases[] = {
        {"Flower in a pot", 200, "Flower in a pot"},
        {"Half/Whole", 200, "Half_Whole"},
        {"Tab\there\nnew\x7F", 200, "Tab_here_new_"},
        {"", 200, "Drawing"},
        {"..", 200, "Drawing"},
        {" . ", 200, "Drawing"},
        {".hidden", 200, ".hidden"},
        {std::string(250, 'a'), 200, std::string(200, 'a')},
        // "é" is two bytes in UTF-8: 7 bytes hold three of them and no half of a fourth.
        {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 7, "\xC3\xA9\xC3\xA9\xC3\xA9"},
        {"ab\xE2\x80\xA6", 4, "ab"},  // "…" is three bytes
    };
    for (const auto& c : cases)
        EXPECT_EQ(SafeFileName(c.name, c.maxBytes), c.safe) << c.name;
}

}  // namespace
}  // namespace plotwick
