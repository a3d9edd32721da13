#pragma once

// Conditions of the field that a test process run as root must make itself.
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

// Root passes every permission check. While this lives, the calling thread
// (the window's) meets file and folder modes as a technician's account does.
class AsOrdinaryUser {
public:
    AsOrdinaryUser() : m_saved(setEffective(Overrides, 0)) {}
    ~AsOrdinaryUser() { setEffective(0, m_saved & Overrides); }

private:
    static constexpr unsigned Overrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    // capset changes the calling thread alone.
    static unsigned setEffective(unsigned clear, unsigned restore)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        syscall(SYS_capget, &header, data);
        const unsigned before = data[0].effective;
        data[0].effective = (before & ~clear) | restore;
        syscall(SYS_capset, &header, data);
        return before;
    }
    unsigned m_saved;
};

// A 16 KiB tmpfs over a folder, in a mount namespace of the calling thread's
// own so that nothing else sees it; gone again with this object.
class SmallDisk {
public:
    explicit SmallDisk(const QString &folder)
        : m_folder(QFile::encodeName(folder)), m_home(::open("/proc/self/ns/mnt", O_RDONLY))
    {
        // Mounts made private first, so that the new one cannot reach the machine's.
        m_mounted = m_home >= 0 && ::unshare(CLONE_NEWNS) == 0 &&
                    ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                    ::mount("tmpfs", m_folder.constData(), "tmpfs", 0, "size=16k") == 0;
        if (!m_mounted)
            m_failure = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
        // Entering a namespace moves the thread to its root folder.
        if (m_home >= 0 && ::setns(m_home, CLONE_NEWNS) == 0)
            QDir::setCurrent(m_workingFolder);
        if (m_home >= 0)
            ::close(m_home);
    }
    // Empty once mounted; otherwise why it could not be.
    QString failure() const { return m_failure; }
    // Writes the file `name` until the disk refuses another byte.
    void fill(const QString &name) const
    {
        QFile filler(QFile::decodeName(m_folder) + QLatin1Char('/') + name);
        if (filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            while (filler.write("f", 1) == 1) {
            }
    }

private:
    QByteArray m_folder;
    QString m_workingFolder = QDir::currentPath();
    int m_home;
    bool m_mounted = false;
    QString m_failure;
};
