#include "platform/ExitWithoutTeardown.h"

#include <gtest/gtest.h>

// The main of the test programs that use Qt Multimedia: their application
// objects are gone once the tests have run, so leave as the client does.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    ExitWithoutTeardown(RUN_ALL_TESTS());
}
