// veltrax-hexgen: writes a valid sample firmware file for trying the uploader
// without a real firmware release.

#include "HexEncoder.h"
#include "SampleFirmware.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>

namespace {

const char kUsage[] = R"(Usage: veltrax-hexgen [--date MMDDYYYY] [--size BYTES] [--out-dir DIR]
                      [--seed N] [--base ADDRESS] [--binary FILE]

Writes DIR/veltrax_MMDDYYYY.hex: Intel HEX with 16-byte data records, extended
linear address records past each 64 KiB, the end-of-file record, CR LF line
ends. The image is BYTES long (K and M suffixes allowed), placed at ADDRESS
(decimal or 0x hexadecimal), and its bytes depend only on the seed.

  --date MMDDYYYY   date in the file name (default: today)
  --size BYTES      image size (default 32K)
  --out-dir DIR     folder for the file (default: the current one)
  --seed N          content seed (default 1)
  --base ADDRESS    load address of the first byte (default 0)
  --binary FILE     also write the raw image, to compare with what an
                    instrument assembled
)";

std::uint64_t parseSize(std::string text)
{
    std::uint64_t unit = 1;
    if (!text.empty() && (text.back() == 'K' || text.back() == 'k'))
        unit = 1024;
    else if (!text.empty() && (text.back() == 'M' || text.back() == 'm'))
        unit = 1024 * 1024;
    if (unit != 1)
        text.pop_back();
    std::size_t used = 0;
    const std::uint64_t value = std::stoull(text, &used, 0);
    if (used != text.size() || text.empty() || text.front() == '-')
        throw std::invalid_argument(text);
    return value * unit;
}

std::string today()
{
    const std::time_t now = std::time(nullptr);
    char text[16];
    std::strftime(text, sizeof text, "%m%d%Y", std::localtime(&now));
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    std::map<std::string, std::string> values = {{"--date", today()}, {"--size", "32K"},
                                                 {"--out-dir", "."},  {"--seed", "1"},
                                                 {"--base", "0"},     {"--binary", ""}};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (values.count(arg) == 0 || i + 1 >= argc) {
            std::cerr << "veltrax-hexgen: " << arg
                      << (values.count(arg) ? ": needs a value" : ": unknown option")
                      << "\nTry veltrax-hexgen --help.\n";
            return 2;
        }
        values[arg] = argv[++i];
    }

    const std::optional<std::string> name = firmwareFileName(values["--date"]);
    std::uint64_t size = 0, seed = 0, base = 0;
    try {
        size = parseSize(values["--size"]);
        seed = parseSize(values["--seed"]);
        base = parseSize(values["--base"]);
    } catch (const std::exception &) {
        std::cerr << "veltrax-hexgen: --size, --seed and --base take numbers\n";
        return 2;
    }
    if (!name || base + size > 0x100000000ull) {
        std::cerr << "veltrax-hexgen: "
                  << (name ? "the image does not fit in 4 GiB" : "--date takes MMDDYYYY") << '\n';
        return 2;
    }

    const std::vector<std::uint8_t> image = sampleImage(size, seed);
    const std::vector<std::string> lines = encodeIntelHex(image, static_cast<std::uint32_t>(base));
    const std::filesystem::path path = std::filesystem::path(values["--out-dir"]) / *name;
    std::ofstream hex(path, std::ios::binary | std::ios::trunc);
    for (const std::string &line : lines)
        hex << line << "\r\n";
    hex.close();
    if (!hex) {
        std::cerr << "veltrax-hexgen: cannot write " << path.string() << '\n';
        return 1;
    }
    if (!values["--binary"].empty()) {
        std::ofstream binary(values["--binary"], std::ios::binary | std::ios::trunc);
        binary.write(reinterpret_cast<const char *>(image.data()),
                     static_cast<std::streamsize>(image.size()));
        binary.close();
        if (!binary) {
            std::cerr << "veltrax-hexgen: cannot write " << values["--binary"] << '\n';
            return 1;
        }
    }
    std::cout << "veltrax-hexgen: wrote " << path.string() << ", " << size << " bytes in "
              << lines.size() << " lines\n";
    return 0;
}
