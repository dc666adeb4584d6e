#include "model/DrawDB.h"

#include "model/BParser.h"
#include "platform/files/Files.h"

namespace plotwick {

namespace {
// The header is complete without its extension up to this size.
constexpr std::int32_t kHeaderBaseSize = 346;
}

void TDrawDB::ReadHeader()
{
    const std::string headerPath = files::ResolvePath(FPath + ".dat");
    if (headerPath.empty() || !files::FileExists(headerPath))
        return;
    BParser reader(headerPath, 276);
    FHeaderSize = reader.FSize;
    reader.Skip(2);
    FVersion = reader.ReadFloat();
    FTitle = reader.ReadFixedString(64);
    if (FHeaderSize > kHeaderBaseSize) {
        FHeaderByte1 = reader.ReadByte();
        reader.Skip(32);
        FHeaderByte2 = reader.ReadTag();
        FHeaderByte3 = reader.ReadTag();
        reader.ReadTag();
        FHeaderWord = reader.ReadWord();
    }
}

}  // namespace plotwick
