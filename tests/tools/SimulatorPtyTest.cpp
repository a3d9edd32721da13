// veltrax-sim and veltrax-hexgen run as processes; the test plays the uploader
// on the pseudo-terminal the simulator links.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

const std::string kEsc = "\x1B", kAck = "\x06", kStartup = "\r\nVeltrax boot v2.3\r\n";
const std::string kReboot("\x01\x48\x01\x00\x49", 5), kReset("\x01\x3B\x01\x00\x3C", 5);

// Bytes from fd until they end with `tail`, for 5 s at most.
std::string receiveUntil(int fd, const std::string &tail, bool *hungUp = nullptr)
{
    std::string got;
    const auto until = Clock::now() + 5s;
    while (got.size() < tail.size() || got.compare(got.size() - tail.size(), tail.size(), tail)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        pollfd watch{fd, POLLIN, 0};
        char c = 0;
        if (left.count() <= 0 || ::poll(&watch, 1, static_cast<int>(left.count())) <= 0)
            break;
        if (hungUp)
            *hungUp = (watch.revents & POLLHUP) != 0;
        if (!(watch.revents & POLLIN) || ::read(fd, &c, 1) != 1)
            break;
        got += c;
    }
    return got;
}

// A child process whose standard output the test reads.
struct Process {
    explicit Process(const std::string &command) : out(::popen(command.c_str(), "r")) {}
    ~Process() { out &&finish(); }
    std::string line()
    {
        char buffer[512] = {};
        return std::fgets(buffer, sizeof buffer, out) ? buffer : "";
    }
    // Its exit status once its output ends; the output goes to `output`.
    int finish(std::string *output = nullptr)
    {
        for (int c; (c = std::fgetc(out)) != EOF;) {
            if (output)
                output->push_back(static_cast<char>(c));
        }
        const int status = ::pclose(std::exchange(out, nullptr));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    FILE *out;
};

class SimulatorOnPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/veltrax-sim-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override
    {
        ::close(port);
        fs::remove_all(dir);
    }

    // The records of a veltrax-hexgen file, as the uploader sends them; the
    // raw image goes to fw.bin.
    std::vector<std::string> makeFirmware(const std::string &size, const std::string &base)
    {
        EXPECT_EQ(Process(VELTRAX_HEXGEN " --date 03152024 --size " + size + " --base " + base +
                          " --out-dir " + dir.string() + " --binary " + (dir / "fw.bin").string())
                      .finish(),
                  0);
        std::ifstream hex(dir / "veltrax_03152024.hex", std::ios::binary);
        std::vector<std::string> records;
        for (std::string line; std::getline(hex, line);) {
            EXPECT_EQ(line.back(), '\r');
            records.emplace_back();
            for (std::size_t i = 1; i + 2 < line.size(); i += 2)
                records.back() += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
        }
        return records;
    }
    // The simulator on dir/COM1, and the uploader's port opened on it as a COM
    // port is: once for the trial, then for good.
    std::unique_ptr<Process> start(const std::string &options)
    {
        const std::string link = (dir / "COM1").string();
        auto sim = std::make_unique<Process>(VELTRAX_SIM " --link " + link + " --image " + link +
                                             ".bin --log " + link +
                                             ".log --erase-ms 20 "
                                             "--boot-delay-ms 20 --timeout 30 " +
                                             options);
        EXPECT_NE(sim->line().find("ready on " + link), std::string::npos);
        ::close(::open(link.c_str(), O_RDWR | O_NOCTTY));
        port = ::open(link.c_str(), O_RDWR | O_NOCTTY);
        termios raw{};
        ::tcgetattr(port, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(port, TCSANOW, &raw);
        return sim;
    }
    std::string exchange(const std::string &bytes, const std::string &answer)
    {
        EXPECT_EQ(::write(port, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        return answer.empty() ? "" : receiveUntil(port, answer);
    }
    void enterTransfer()
    {
        EXPECT_EQ(exchange(kEsc, kAck), kAck);
        EXPECT_EQ(exchange(kReboot, kStartup), kStartup);
        EXPECT_EQ(exchange("quandrel\r\n", "MON: "), "MON: ");
        EXPECT_EQ(exchange("\x05\x05", "\x80"), "\x80");
        exchange("\x05", "");
    }
    std::string file(const std::string &name)
    {
        std::ifstream in(dir / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path dir;
    int port = -1;
};

TEST_F(SimulatorOnPty, wholeUpdate_verdictAndImageAsTheRecordsSay)
{
    const struct {
        const char *name;
        std::vector<std::string> records;
        std::string options;
        int exitStatus;
        std::string verdict;
    } rows[] = {
        {"hexgenImageCrossing64KiB_written", makeFirmware("40", "0xFFF0"), "", 0,
         "verdict: update complete, 40 bytes"},
        // Laid out flat, records at both ends of the address space would take 4 GiB.
        {"bytesAtBothEndsOf4GiB_notWritten",
         {"\x02\x00\x00\x04\x00\x00\xFA"s, "\x01\x00\x00\x00\xAA\x55"s,
          "\x02\x00\x00\x04\xFF\xFF\xFC"s, "\x01\x00\x00\x00\xAA\x55"s, "\x00\x00\x00\x01\xFF"s},
         "--no-pacing",
         8,
         "image not written: its addresses span 4294901761 bytes, over 64 MiB"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        auto sim = start("--exit-after-update " + row.options);
        enterTransfer();
        for (const std::string &record : row.records) {
            const auto sent = Clock::now();
            ASSERT_EQ(exchange("\x01" + record, kAck), kAck);
            // Paced at 19200 baud: SOH, the record and the ACK take their wire time.
            const auto wireTime = std::chrono::microseconds((record.size() + 2) * 520);
            EXPECT_TRUE(!row.options.empty() || Clock::now() - sent >= wireTime);
        }
        EXPECT_EQ(receiveUntil(port, "CODE OK\r\n"), "CODE OK\r\n");
        for (const std::string &request : {kEsc, kReset, kEsc})
            EXPECT_EQ(exchange(request, kAck), kAck);
        EXPECT_EQ(exchange(kReboot, kStartup), kStartup);
        std::string output;
        EXPECT_EQ(sim->finish(&output), row.exitStatus) << output;
        EXPECT_NE(output.find(row.verdict), std::string::npos) << output;
        EXPECT_EQ(file("COM1.bin"), row.exitStatus ? "" : file("fw.bin"));
        EXPECT_NE(file("COM1.log").find(" RX 1B"), std::string::npos);
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "COM1"))) << "link left behind";
        ::close(std::exchange(port, -1));
        fs::remove(dir / "COM1.bin");
    }
}

TEST_F(SimulatorOnPty, hangUpAtLine2_dropsTheLineAndExitsFour)
{
    const std::vector<std::string> records = makeFirmware("64", "0");
    auto sim = start("--no-pacing --hangup-line 2");
    enterTransfer();
    EXPECT_EQ(exchange("\x01" + records[0], kAck), kAck);
    exchange("\x01" + records[1], "");
    bool hungUp = false;
    EXPECT_EQ(receiveUntil(port, kAck, &hungUp), "");
    EXPECT_TRUE(hungUp);
    std::string output;
    EXPECT_EQ(sim->finish(&output), 4) << output;
    EXPECT_NE(output.find("hung up at line 2"), std::string::npos) << output;
    EXPECT_EQ(file("COM1.bin").size(), 16u);
}

} // namespace
