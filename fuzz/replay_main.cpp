// Runs a fuzz target over the inputs kept in its corpus folders, without libFuzzer, so that the
// ordinary build and test run replay every kept input.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize != nullptr) {
        LLVMFuzzerInitialize(&argc, &argv);
    }
    int replayed = 0;
    for (const char* folder : std::span(argv, std::size_t(argc)).subspan(1)) {
        for (const auto& input : std::filesystem::directory_iterator(folder)) {
            std::ifstream file(input.path(), std::ios::binary);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    std::cout << replayed << " kept inputs replayed\n";
    return replayed > 0 ? 0 : 1;
}
