// Replays a corpus folder through the entry point, without libFuzzer; no input fails.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

int main(int argc, char *argv[])
{
    namespace fs = std::filesystem;
    if (argc != 2)
        return std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]), 1;
    std::vector<fs::path> inputs;
    for (const fs::directory_entry &entry : fs::directory_iterator(argv[1])) {
        if (entry.is_regular_file())
            inputs.push_back(entry.path());
    }
    for (const fs::path &input : inputs) {
        std::ifstream file(input, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(file), {}};
        std::printf("%s (%zu bytes)\n", input.filename().c_str(), bytes.size());
        std::fflush(stdout); // names the input that aborts
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    }
    return inputs.empty() ? 1 : 0;
}
