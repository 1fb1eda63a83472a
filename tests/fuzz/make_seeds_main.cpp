// fuzz_make_seeds DIR: writes the seeds of every fuzz target into DIR/<target>/.

#include "seeds.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::printf("usage: fuzz_make_seeds DIR\n");
        return 2;
    }
    for (const std::string& target : zvfuzz::TargetNames()) {
        const std::filesystem::path dir = std::filesystem::path(argv[1]) / target;
        std::filesystem::create_directories(dir);
        for (const zvfuzz::Seed& seed : zvfuzz::SeedsOf(target)) {
            std::ofstream(dir / seed.name, std::ios::binary | std::ios::trunc)
                .write(reinterpret_cast<const char*>(seed.bytes.data()),
                       static_cast<std::streamsize>(seed.bytes.size()));
        }
    }
    return 0;
}
