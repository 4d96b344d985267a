#include "platform/ExitWithoutTeardown.h"

#include <gtest/gtest.h>

// The main of the test programs that use Qt Multimedia: once the tests have
// run nothing of theirs needs the libraries' exit handlers, so they leave as
// the client does.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    ExitWithoutTeardown(RUN_ALL_TESTS());
}
