// cDIB::CreateFromFile reads pictures other programs wrote (the clipboard snapshot, saved
// pictures): a hostile header must be refused, never read past the file or over-allocate.
#include "common/prompter.h"
#include "media/dib.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

class QuietPrompter : public tarvex::Prompter {
public:
    void message(const QString&, const QString&, tarvex::Icon) override {}
    bool askYesNo(const QString&, const QString&, tarvex::Icon, bool) override { return false; }
    std::optional<QString> input(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> openFile(const tarvex::FileRequest&) override { return std::nullopt; }
    std::optional<QString> saveFile(const tarvex::FileRequest&) override { return std::nullopt; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("input.bmp"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    QuietPrompter p;
    tarvex::cDIB dib;
    if (dib.CreateFromFile(p, path)) {
        // What was read must fit the file it came from.
        if (qsizetype(dib.PointerToBits().size()) + dib.SizeBitmapInfo() + 14 > qsizetype(size))
            __builtin_trap();
    }
    return 0;
}
