// Entry point of the tessaly program.
#include <cstdio>
#include <cstring>

namespace {

void printVersion() { std::printf("tessaly %s, SIP test telephone\n", TESSALY_VERSION); }

void printUsage() {
    std::printf("usage: tessaly [--version] [--help]\n");
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printUsage();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") != 0) {
            std::fprintf(stderr, "tessaly: unknown option %s\n", argv[i]);
            printUsage();
            return 2;
        }
    }
    printVersion();
    return 0;
}
