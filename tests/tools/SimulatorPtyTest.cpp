// veltrax-sim and veltrax-hexgen run as processes; the test plays the uploader
// on the pseudo-terminal the simulator links.

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kEsc = "\x1B";
const std::string kReboot("\x01\x48\x01\x00\x49", 5);
const std::string kReset("\x01\x3B\x01\x00\x3C", 5);
const std::string kStartup = "\r\nVeltrax boot v2.3\r\n";

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

struct Process {
    pid_t pid = -1;
    int out = -1; // its standard output

    Process(const char *path, std::vector<std::string> args)
    {
        int pipeFds[2];
        EXPECT_EQ(::pipe(pipeFds), 0);
        if ((pid = ::fork()) == 0) {
            ::dup2(pipeFds[1], STDOUT_FILENO);
            std::vector<char *> argv{const_cast<char *>(path)};
            for (std::string &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(path, argv.data());
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        out = pipeFds[0];
    }
    // Its exit status once its output ends (-1 if that takes over 5 s), and the output.
    int finish(std::string &output)
    {
        output += receiveUntil(out, std::string(1, '\0')); // never printed: reads to the end
        ::kill(pid, SIGKILL);                              // no-op when it has exited
        int status = 0;
        ::waitpid(std::exchange(pid, -1), &status, 0);
        ::close(out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ~Process()
    {
        std::string ignored;
        if (pid > 0)
            finish(ignored);
    }
};

// The uploader's end of the line, opened as it opens a COM port.
struct Port {
    int fd;
    explicit Port(const fs::path &path) : fd(::open(path.c_str(), O_RDWR | O_NOCTTY))
    {
        termios raw{};
        ::tcgetattr(fd, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(fd, TCSANOW, &raw);
    }
    ~Port() { ::close(fd); }
    void send(const std::string &bytes)
    {
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    std::string exchange(const std::string &bytes, const std::string &answer)
    {
        send(bytes);
        return receiveUntil(fd, answer);
    }
};

class SimulatorOnPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/veltrax-sim-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        link = dir / "COM1";
    }
    void TearDown() override { fs::remove_all(dir); }

    // The records of a veltrax-hexgen file, as the uploader sends them; the
    // raw image goes to fw.bin.
    std::vector<std::string> makeFirmware(const std::string &size, const std::string &base)
    {
        Process gen(VELTRAX_HEXGEN, {"--date", "03152024", "--size", size, "--base", base,
                                     "--out-dir", dir, "--binary", dir / "fw.bin"});
        std::string output;
        EXPECT_EQ(gen.finish(output), 0) << output;
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

    std::unique_ptr<Process> startSimulator(std::vector<std::string> extra)
    {
        std::vector<std::string> args = {
            "--link",        link,         "--image", dir / "image.bin", "--log",
            dir / "sim.log", "--erase-ms", "20",      "--boot-delay-ms", "20",
            "--timeout",     "30"};
        args.insert(args.end(), extra.begin(), extra.end());
        auto sim = std::make_unique<Process>(VELTRAX_SIM, args);
        EXPECT_NE(receiveUntil(sim->out, "\n").find("ready on " + link.string()),
                  std::string::npos);
        return sim;
    }

    static void enterTransfer(Port &port)
    {
        EXPECT_EQ(port.exchange(kEsc, "\x06"), "\x06");
        EXPECT_EQ(port.exchange(kReboot, kStartup), kStartup);
        EXPECT_EQ(port.exchange("quandrel\r\n", "MON: "), "MON: ");
        EXPECT_EQ(port.exchange("\x05\x05", "\x80"), "\x80");
        port.send("\x05");
    }

    std::string readFile(const fs::path &name)
    {
        std::ifstream in(dir / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path dir;
    fs::path link;
};

TEST_F(SimulatorOnPty, wholeUpdate_exitsZeroWithTheImageSent)
{
    const std::vector<std::string> records = makeFirmware("40", "0xFFF0"); // crosses 64 KiB
    auto sim = startSimulator({"--exit-after-update"});
    ASSERT_GE(Port(link).fd, 0); // the uploader's trial open
    Port port(link);
    enterTransfer(port);
    for (const std::string &record : records) {
        const auto sent = Clock::now();
        ASSERT_EQ(port.exchange("\x01" + record, "\x06"), "\x06");
        // Paced at 19200 baud: SOH, the record and the ACK take their wire time.
        EXPECT_GE(Clock::now() - sent, std::chrono::microseconds((record.size() + 2) * 520));
    }
    EXPECT_EQ(receiveUntil(port.fd, "CODE OK\r\n"), "CODE OK\r\n");
    for (const std::string &request : {kEsc, kReset, kEsc})
        EXPECT_EQ(port.exchange(request, "\x06"), "\x06");
    EXPECT_EQ(port.exchange(kReboot, kStartup), kStartup);

    std::string output;
    EXPECT_EQ(sim->finish(output), 0) << output;
    EXPECT_NE(output.find("verdict: update complete, 40 bytes"), std::string::npos) << output;
    EXPECT_EQ(readFile("image.bin"), readFile("fw.bin"));
    EXPECT_EQ(readFile("image.bin").size(), 40u);
    EXPECT_NE(readFile("sim.log").find(" RX 1B"), std::string::npos);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "link left behind";
}

TEST_F(SimulatorOnPty, hangUpAtLine2_dropsTheLineAndExitsFour)
{
    const std::vector<std::string> records = makeFirmware("64", "0");
    auto sim = startSimulator({"--no-pacing", "--hangup-line", "2"});
    Port port(link);
    enterTransfer(port);
    EXPECT_EQ(port.exchange("\x01" + records[0], "\x06"), "\x06");
    port.send("\x01" + records[1]);
    bool hungUp = false;
    EXPECT_EQ(receiveUntil(port.fd, "\x06", &hungUp), "");
    EXPECT_TRUE(hungUp);

    std::string output;
    EXPECT_EQ(sim->finish(output), 4) << output;
    EXPECT_NE(output.find("hung up at line 2"), std::string::npos) << output;
    EXPECT_EQ(readFile("image.bin").size(), 16u);
}

// A real serial port is opened by path; a pseudo-terminal's slave stands in
// for it, with the test on the master side.
TEST_F(SimulatorOnPty, portStoppedBySignal_exitsThreeWithoutUpdate)
{
    int master = -1, slave = -1;
    char slaveName[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, slaveName, nullptr, nullptr), 0);
    ::close(slave);
    Process sim(VELTRAX_SIM, {"--port", slaveName, "--no-pacing"});
    EXPECT_NE(receiveUntil(sim.out, "\n").find(std::string("ready on ") + slaveName),
              std::string::npos);
    ASSERT_EQ(::write(master, kEsc.data(), 1), 1);
    EXPECT_EQ(receiveUntil(master, "\x06"), "\x06");
    ::kill(sim.pid, SIGTERM);
    std::string output;
    EXPECT_EQ(sim.finish(output), 3) << output;
    EXPECT_NE(output.find("stopped by signal"), std::string::npos) << output;
    ::close(master);

    EXPECT_EQ(Process(VELTRAX_SIM, {"--link", link, "--port", slaveName}).finish(output), 2);
}

} // namespace
