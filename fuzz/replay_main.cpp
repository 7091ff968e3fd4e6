// Runs the fuzz entry point over every file of the given corpus directories, so the checked-in
// corpus is exercised by every ordinary test build.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR...\n", argv[0]);
        return 2;
    }
    size_t files = 0;
    for (int a = 1; a < argc; ++a) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(argv[a], ec)) {
            if (!entry.is_regular_file()) {
                continue;
            }
            std::ifstream in(entry.path(), std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++files;
        }
        if (ec) {
            std::fprintf(stderr, "cannot read corpus directory %s: %s\n", argv[a],
                         ec.message().c_str());
            return 1;
        }
    }
    if (files == 0) {
        std::fprintf(stderr, "no corpus files found\n");
        return 1;
    }
    std::printf("replayed %zu corpus files\n", files);
    return 0;
}
