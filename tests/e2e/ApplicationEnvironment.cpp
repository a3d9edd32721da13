// One QApplication for the whole test run, made before the first test and
// destroyed before the program's exit handlers run: the pointing device that
// QTest's clicks create belongs to it and must go while Qt's own globals
// still exist.
#include <QApplication>
#include <gtest/gtest.h>
#include <memory>

namespace {

class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        m_application = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override { m_application.reset(); }

private:
    int m_argc = 1;
    char m_name[9] = "e2e_test";
    char *m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_application;
};

[[maybe_unused]] ::testing::Environment *const environment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

} // namespace
