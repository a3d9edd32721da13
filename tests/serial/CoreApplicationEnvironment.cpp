#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {

// The waits run Qt's event loop, so every test needs an application object.
struct CoreApplication : ::testing::Environment {
    int argc = 1;
    char name[16] = "serial_tests";
    char *argv[2] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    void SetUp() override { app = std::make_unique<QCoreApplication>(argc, argv); }
    void TearDown() override { app.reset(); }
};

const auto *const environment = ::testing::AddGlobalTestEnvironment(new CoreApplication);

} // namespace
