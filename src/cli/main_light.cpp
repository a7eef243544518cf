// tarvex-cli as started: it answers --version itself and becomes the program that runs the
// command asked for: avi-info and frame run in tarvex-cli-video (the media library and
// FFmpeg, without the capture devices, the grid's OpenCV and the screens' libraries), every
// other command in tarvex-cli-full. Loading FFmpeg and Qt took more CPU than --version does,
// so this program links neither; the one it becomes prints and exits as its own.
#include "tarvex_version.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// The statuses of every tarvex-cli command (see cli.h, which needs Qt).
constexpr int kOk = 0;
constexpr int kUsage = 2;

std::string ownFolder()
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    std::string own(path, size_t(n));
    const size_t slash = own.rfind('/');
    return slash == std::string::npos ? "." : own.substr(0, slash);
}

// Beside this program in the build, under libexec once installed.
std::string findProgram(const std::string& name)
{
    const std::string dir = ownFolder();
    for (const std::string& candidate : {dir + "/" + name, dir + "/../libexec/tarvex/" + name})
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    const char* command = argc > 1 ? argv[1] : "";
    if (!std::strcmp(command, "--version") || !std::strcmp(command, "-v")) {
        std::printf("tarvex-cli %s\n", TARVEX_VERSION_TEXT);
        return kOk;
    }
    const bool video = !std::strcmp(command, "avi-info") || !std::strcmp(command, "frame");
    const char* name = video ? "tarvex-cli-video" : "tarvex-cli-full";
    const std::string program = findProgram(name);
    if (!program.empty()) {
        argv[0] = const_cast<char*>(program.c_str());
        execv(program.c_str(), argv);
    }
    std::fprintf(stderr, "tarvex-cli: cannot start %s: %s\n", name,
                 program.empty() ? "not found" : std::strerror(errno));
    return kUsage;
}
