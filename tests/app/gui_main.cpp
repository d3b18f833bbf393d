// Entry point of the GUI tests: the real application object, started once,
// with each test opening and closing the main window.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>
#include <wx/init.h>

#include "app/main_window.h"

int main(int argc, char** argv)
{
    bool listing = false;  // listing the tests needs no display
    for (int i = 1; i < argc; ++i)
        listing |= std::strcmp(argv[i], "--gtest_list_tests") == 0;
    ::testing::InitGoogleTest(&argc, argv);
    if (listing)
        return RUN_ALL_TESTS();
    wxApp::SetInstance(new MainWindow);  // the library owns the application object
    if (!wxEntryStart(argc, argv))
        return 2;
    const int result = RUN_ALL_TESTS();
    wxEntryCleanup();
    // Leave without the exit-time handlers: the display driver's threads are
    // still about, and the sanitizer's exit scan has crashed beside them after
    // every test had passed. Errors during the tests are reported as they happen.
    std::fflush(nullptr);
    std::_Exit(result);
}
