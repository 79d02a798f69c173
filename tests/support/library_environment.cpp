// Test programs that link the library's modules statically get this file
// too. Outside Windows the library attaches itself when the program starts;
// on Windows there is no DllMain for a static library, so the tests attach
// it here (which also fixes the codec folder: "FIO\" beside the program).
#include <gtest/gtest.h>

#include "core/library_state.h"

namespace {

class LibraryEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    if (!afm3::libraryState().attached) afm3::processAttach(nullptr);
  }
};

const testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new LibraryEnvironment);

}  // namespace
