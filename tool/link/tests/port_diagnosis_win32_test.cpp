// Why a port did not open on Windows: what CreateFileA's errors tell the operator.
#include <gtest/gtest.h>
#include <windows.h>

#include "link/port_diagnosis.h"

namespace kavonel {
namespace {

TEST(PortDiagnosisTest, ErrorsOfTheOpenInTheOperatorsWords) {
  const std::string port = "\\\\.\\COM7";
  EXPECT_EQ(DiagnosePortOpen(port, ERROR_FILE_NOT_FOUND).text,
            port + ": no such device; `kavonel-cli ports` lists the ports present");
  EXPECT_EQ(DiagnosePortOpen(port, ERROR_ACCESS_DENIED).text,
            port + ": in use by another program (the system does not let us see which)");
  EXPECT_EQ(DiagnosePortOpen("\\\\.\\NUL", ERROR_NOT_SUPPORTED).problem, PortProblem::kNotSerial);
  const PortDiagnosis other = DiagnosePortOpen(port, ERROR_GEN_FAILURE);
  EXPECT_EQ(other.problem, PortProblem::kOther);
  EXPECT_EQ(other.text.rfind(port + ": ", 0), 0u);
  EXPECT_EQ(other.text.find_first_of("\r\n"), std::string::npos);  // one line
  EXPECT_EQ(DiagnosePortOpen(port, 0).problem, PortProblem::kNone);
}

}  // namespace
}  // namespace kavonel
