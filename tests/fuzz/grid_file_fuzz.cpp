// Grid files come from USB sticks and other stations: any bytes must read without a crash,
// and whatever reads as a whole grid must write and read back to the same numbers. The
// mapping check a load runs next must take any numbers the reader lets through.
#include "grid/grid_file.h"
#include "grid/grid_geometry.h"

#include <QByteArray>
#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const tarvex::GridFileContents c = tarvex::parseGridFile(bytes);
    if (!c.ok())
        return 0;
    (void)tarvex::mappingProblem(c.grid());
    const QByteArray written = tarvex::gridFileBytes(QStringLiteral("/g.ipt"), c.description, c.grid(), 1);
    const tarvex::GridFileContents again = tarvex::parseGridFile(written);
    if (!again.ok())
        __builtin_trap();   // the writer wrote what the reader refuses
    // Fields 27 to 29 are written as 10, 2 and the grid number whatever was read.
    for (int k = 0; k < 26; ++k) {
        const double a = c.numbers[k], b = again.numbers[k];
        if (std::abs(a - b) > std::abs(a) * 1e-14)
            __builtin_trap();   // 15 significant digits did not survive
    }
    return 0;
}
