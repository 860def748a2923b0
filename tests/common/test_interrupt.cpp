// The interrupt handler: the first signal only raises the flag, a second ends the process.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include "base/interrupt.hpp"

TEST(InterruptDeathTest, FirstSignalFlagsSecondEnds) {
    EXPECT_EXIT(
        {
            install_interrupt_handlers();
            raise(SIGTERM);
            if (!search_interrupted() || interrupted_exit_status() != 143) exit(2);
            raise(SIGINT);  // a second signal, whichever: no return from here
            exit(3);
        },
        ::testing::ExitedWithCode(128 + SIGINT), "");
}
