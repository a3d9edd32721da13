#include <QCoreApplication>
#include <gtest/gtest.h>

#include <memory>

namespace {

// The waits run Qt's event loop, so every test needs an application object.
class CoreApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { m_app = std::make_unique<QCoreApplication>(m_argc, m_argv); }
    void TearDown() override { m_app.reset(); }

private:
    int m_argc = 1;
    char m_name[16] = "serial_tests";
    char *m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QCoreApplication> m_app;
};

const auto *const environment = ::testing::AddGlobalTestEnvironment(new CoreApplicationEnvironment);

} // namespace
