#include <gtest/gtest.h>

#include <stdexcept>

#include "runtime/error.h"

namespace wv {
namespace {

Error driverError(int gen, int os, int sub, const char* description) {
    Error e;
    e.genCode = gen;
    e.osCode = os;
    e.subSystem = "DBFCDX";
    e.subCode = sub;
    e.description = description;
    return e;
}

TEST(ErrorMessage, Layout) {
    Error e = driverError(gen::kRead, 0, 1010, "Read error");
    EXPECT_EQ(errorMessage(e), "Error DBFCDX/1010  Read error");

    e = driverError(gen::kOpen, 32, 1001, "Open error");
    e.fileName = "datos\\clientes.dbf";
    e.operation = "DBUSEAREA";
    EXPECT_EQ(errorMessage(e), "(DOS Error 32) DBFCDX/1001  Open error: datos\\clientes.dbf");
    e.fileName.clear();
    EXPECT_EQ(errorMessage(e), "(DOS Error 32) DBFCDX/1001  Open error: DBUSEAREA");

    e = driverError(gen::kLock, 0, 1021, "Lock failure");
    e.severity = 1;
    EXPECT_EQ(errorMessage(e), "Warning DBFCDX/1021  Lock failure");
    e.osCode = 5;  // the OS code takes the place of the word
    EXPECT_EQ(errorMessage(e), "(DOS Error 5) DBFCDX/1021  Lock failure");

    e = Error{};
    e.subCode = 7;
    EXPECT_EQ(errorMessage(e), "Error \?\?\?/7");
}

// errorSys with a presenter that records what reaches it and answers Retry.
class ErrorSysTest : public ::testing::Test {
  protected:
    void SetUp() override {
        prevPresenter_ = setErrorPresenter([this](const Error& e) {
            shown.push_back(e.genCode);
            if (throwNext) {
                throwNext = false;
                throw std::runtime_error("presenter failed");
            }
            return ErrorChoice::Retry;
        });
        prevHandler_ = setErrorHandler(errorSys);
        setNetErr(false);
    }
    void TearDown() override {
        setErrorPresenter(std::move(prevPresenter_));
        setErrorHandler(std::move(prevHandler_));
        setNetErr(false);
    }
    std::vector<int> shown;
    bool throwNext = false;

  private:
    ErrorPresenter prevPresenter_;
    ErrorHandler prevHandler_;
};

TEST_F(ErrorSysTest, DivisionByZeroGivesZero) {
    EXPECT_EQ(raiseError(driverError(gen::kZeroDiv, 0, 1340, "Zero divisor")), ErrorChoice::Zero);
    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(netErr());
}

TEST_F(ErrorSysTest, NetworkConditionsFailSoftly) {
    for (int os : {32, 5}) {
        setNetErr(false);
        Error e = driverError(gen::kOpen, os, 1001, "Open error");
        e.canDefault = true;
        EXPECT_EQ(errorSys(e), ErrorChoice::Default);
        EXPECT_TRUE(netErr());
    }
    setNetErr(false);
    Error e = driverError(gen::kAppendLock, 0, 1024, "Append lock failure");
    e.canDefault = true;
    EXPECT_EQ(errorSys(e), ErrorChoice::Default);
    EXPECT_TRUE(netErr());
    EXPECT_TRUE(shown.empty());
}

TEST_F(ErrorSysTest, EverythingElseIsShown) {
    Error notFound = driverError(gen::kOpen, 2, 1001, "Open error");
    notFound.canDefault = true;
    Error noDefault = driverError(gen::kOpen, 32, 1001, "Open error");
    Error appendNoDefault = driverError(gen::kAppendLock, 0, 1024, "Append lock failure");
    Error corrupt = driverError(gen::kCorruption, 0, 1012, "Corruption detected");
    for (const Error& e : {notFound, noDefault, appendNoDefault, corrupt})
        EXPECT_EQ(errorSys(e), ErrorChoice::Retry);
    EXPECT_EQ(shown,
              (std::vector<int>{gen::kOpen, gen::kOpen, gen::kAppendLock, gen::kCorruption}));
    EXPECT_FALSE(netErr());
}

TEST_F(ErrorSysTest, PresenterThatThrowsDoesNotLeaveTheHandlerBusy) {
    throwNext = true;
    EXPECT_THROW(errorSys(driverError(gen::kWrite, 0, 1011, "Write error")), std::runtime_error);
    // Were the handler still marked busy, this one would end the process.
    EXPECT_EQ(errorSys(driverError(gen::kWrite, 0, 1011, "Write error")), ErrorChoice::Retry);
    EXPECT_EQ(shown.size(), 2u);
}

}  // namespace
}  // namespace wv
