#include <cstdio>
#include <cstring>

#include "lorn2_version/Version.h"

// The simulator answers as a heat meter once the meter protocol is part of the program; until
// then it says so instead of pretending to be a meter.
int main(int argc, char** argv)
{
    const char* usage = "Usage: lorn2-metersim --link PATH [--meter FILE] [OPTIONS]\n"
                        "\n"
                        "Simulates a heat meter (and optionally a Hayes modem) on a pseudo-terminal.\n"
                        "\n"
                        "  --help       show this help\n"
                        "  --version    show the version\n"
                        "\n"
                        "This build does not answer meter requests yet: the meter protocol is not part\n"
                        "of it. Every other option is refused.\n";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("lorn2-metersim %s\n", LORN2_VERSION_STRING);
            return 0;
        }
    }
    std::fputs("lorn2-metersim: the meter protocol is not available in this build\n", stderr);
    std::fputs(usage, stderr);
    return 2;
}
