// Every test of this binary starts from the module's state after load and initialisation,
// so that no test passes or fails by what ran before it.
#include <gtest/gtest.h>

#include "module_state_test.h"

namespace {

class ModuleReset : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo &) override { luma_test::ResetModuleState(); }
};

const bool registered = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new ModuleReset);
  return true;
}();

}  // namespace
