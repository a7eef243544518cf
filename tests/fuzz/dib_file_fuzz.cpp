// Bitmap reads pictures other programs wrote (the clipboard snapshot, saved pictures): a
// hostile header must be refused, never read past the file or over-allocate. In memory:
// CreateFromFile reads the file's bytes and hands them to the same parse.
#include "media/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tarvex::Bitmap dib;
    if (dib.CreateFromFileBytes(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)))) {
        // What was read must fit the file it came from.
        if (qsizetype(dib.PointerToBits().size()) + dib.SizeBitmapInfo() + 14 > qsizetype(size))
            __builtin_trap();
    }
    return 0;
}
