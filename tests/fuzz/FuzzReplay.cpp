// Replays a fuzz target's corpus through its entry point, without libFuzzer:
// every file in the folder named on the command line, once, in name order. A
// broken invariant aborts, as under the fuzzer; a replay that finds no input
// fails, so an emptied corpus is not taken for a passing one.
#include <algorithm>
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
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path &input : inputs) {
        std::ifstream file(input, std::ios::binary);
        if (!file)
            return std::fprintf(stderr, "cannot read %s\n", input.c_str()), 1;
        const std::string bytes{std::istreambuf_iterator<char>(file), {}};
        std::printf("%s (%zu bytes)\n", input.filename().c_str(), bytes.size());
        std::fflush(stdout); // names the input that aborts
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}
