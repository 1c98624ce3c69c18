#include <gtest/gtest.h>

#include <unistd.h>

#include "data/application.h"
#include "data/config.h"
#include "data/tables.h"
#include "data/workarea.h"
#include "invoice/numbering.h"
#include "runtime/operator.h"
#include "test_support.h"

namespace wv {
namespace {

TEST(InvoiceNumbering, NextNumber) {
    EXPECT_EQ(nextInvoiceNumber("0000000000"), "0000000001");
    EXPECT_EQ(nextInvoiceNumber("0000000041"), "0000000042");
    EXPECT_EQ(nextInvoiceNumber("0000000099"), "0000000100");
    EXPECT_EQ(nextInvoiceNumber("A000000123"), "A000000124");
    EXPECT_EQ(nextInvoiceNumber("B000000007"), "B000000008");
    EXPECT_EQ(nextInvoiceNumber("9999999998"), "9999999999");
    EXPECT_EQ(nextInvoiceNumber("Z999999998"), "Z999999999");
}

TEST(InvoiceNumbering, NumbersTypedByHand) {
    EXPECT_EQ(nextInvoiceNumber(""), "0000000001");
    EXPECT_EQ(nextInvoiceNumber("41"), "0000000042");
    EXPECT_EQ(nextInvoiceNumber("A"), "A000000001");
    EXPECT_EQ(nextInvoiceNumber("b12"), "b000000013");
    // The digits are read up to the first character that is not one.
    EXPECT_EQ(nextInvoiceNumber("00012X7890"), "0000000013");
    EXPECT_EQ(nextInvoiceNumber("A-00000005"), "A000000001");
    EXPECT_EQ(nextInvoiceNumber("        41"), "0000000042");
    // A letter that is not A..Z is no prefix.
    EXPECT_EQ(nextInvoiceNumber("\xD1" "000000005"), "0000000001");
}

TEST(InvoiceNumbering, SeriesUsedUp) {
    EXPECT_EQ(nextInvoiceNumber("9999999999"), std::nullopt);
    EXPECT_EQ(nextInvoiceNumber("A999999999"), std::nullopt);
    EXPECT_EQ(nextInvoiceNumber("99999999999"), std::nullopt);
    EXPECT_EQ(nextInvoiceNumber("A9999999990"), std::nullopt);
    EXPECT_EQ(nextInvoiceNumber("123456789012345678901234567890"), std::nullopt);
    // Leading zeros beyond the width do not count.
    EXPECT_EQ(nextInvoiceNumber("000000000000041"), "0000000042");
}

class Proposal : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = oApp().cEmpresa;
        oApp().cEmpresa = "Hotel";
    }
    void TearDown() override { oApp().cEmpresa = saved_; }
    ScriptedOperator op_;
    ScriptedOperator::Scope scope_{op_};
    std::string saved_;
};

TEST_F(Proposal, FollowsTheStoredNumber) {
    EXPECT_EQ(proposeInvoiceNumber(Value("0000000000")), "0000000001");
    EXPECT_EQ(proposeInvoiceNumber(Value("B000000007")), "B000000008");
    // A counter stored as a number reads the same.
    EXPECT_EQ(proposeInvoiceNumber(Value::number(41)), "0000000042");
    EXPECT_TRUE(op_.shown.empty());
}

TEST_F(Proposal, StoreNotOpenedGivesNoNumber) {
    EXPECT_EQ(proposeInvoiceNumber(Value()), "");
    EXPECT_TRUE(op_.shown.empty());
}

TEST_F(Proposal, SeriesUsedUpTellsTheOperator) {
    EXPECT_EQ(proposeInvoiceNumber(Value("A999999999")), "");
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "stop");
    EXPECT_EQ(op_.shown[0].text,
              "Se agotaron los numeros de Factura de la serie de la ultima: A999999999\r\n"
              "Introduzca el numero de la Factura con una serie nueva...");
    EXPECT_EQ(op_.shown[0].title, "Hotel");
}

// Through the configuration store of a fresh installation in a scratch directory.
class StoredCounter : public Proposal {
  protected:
    void SetUp() override {
        Proposal::SetUp();
        char buf[4096];
        ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
        cwd_ = buf;
        ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    }
    void TearDown() override {
        workspace().closeAll();
        EXPECT_EQ(chdir(cwd_.c_str()), 0);
        Proposal::TearDown();
    }
    test::TempDir dir_;
    std::string cwd_;
};

TEST_F(StoredCounter, WithoutAConfigurationTableTheFirstNumberIsOne) {
    EXPECT_EQ(fGetNewIdFactura(), "0000000001");
    EXPECT_TRUE(op_.shown.empty());
}

TEST_F(StoredCounter, FollowsWhatWasSaved) {
    std::string error;
    ASSERT_TRUE(initInstallation(dir_.path(), false, &error)) << error;
    EXPECT_EQ(fGetNewIdFactura(), "0000000001");
    lSaveCfg("CFACTURA", Value("B000000007"));
    EXPECT_EQ(fGetNewIdFactura(), "B000000008");
    // Reading does not move the counter.
    EXPECT_EQ(fGetNewIdFactura(), "B000000008");
    lSaveCfg("CFACTURA", Value("9999999999"));
    EXPECT_EQ(fGetNewIdFactura(), "");
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "stop");
    EXPECT_EQ(op_.shown[0].title, "Hotel");
}

}  // namespace
}  // namespace wv
