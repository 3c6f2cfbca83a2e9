/* main() of every test program: GoogleTest with the leak check installed. */
#include "plugin_host.h"

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new ovtest::LeakCheckListener);
    return RUN_ALL_TESTS();
}
