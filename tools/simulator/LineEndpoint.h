#pragma once

#include <memory>
#include <string>

// The simulator's end of the serial line: the master of a pseudo-terminal
// whose slave is linked under a COM name, or a real serial port.
class LineEndpoint {
public:
    // Opens a pseudo-terminal and links its slave as `linkPath`. Throws
    // std::runtime_error when it cannot.
    static std::unique_ptr<LineEndpoint> openPty(const std::string &linkPath);
    // Opens a serial device at 19200 baud, 8N1, raw. Throws std::runtime_error.
    static std::unique_ptr<LineEndpoint> openPort(const std::string &devicePath);

    ~LineEndpoint();
    LineEndpoint(const LineEndpoint &) = delete;
    LineEndpoint &operator=(const LineEndpoint &) = delete;

    // Non-blocking descriptor to poll, read and write.
    int fd() const { return m_fd; }
    // Where the program finds the line (the link, or the device).
    const std::string &name() const { return m_name; }
    // The device behind it (/dev/pts/N for a pseudo-terminal).
    const std::string &device() const { return m_device; }
    // True while bytes sent are still waiting for the program to read them.
    bool peerHasUnread() const;
    // Drops the line at once: the program sees a hang-up.
    void hangUp();

private:
    LineEndpoint() = default;
    void release();

    int m_fd = -1;
    // A pseudo-terminal's own slave descriptor: while it is open, the program
    // can close and reopen the port without the master seeing a hang-up, and
    // the raw settings stay on the terminal.
    int m_slaveFd = -1;
    std::string m_name;
    std::string m_device;
    std::string m_link;
};
