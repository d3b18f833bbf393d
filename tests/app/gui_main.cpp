// Entry point of the GUI tests: the real application object, started once,
// with each test opening and closing the main window.
#include <cstring>

#include <gtest/gtest.h>
#include <wx/init.h>

#include "app/main_window.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0)
            return RUN_ALL_TESTS();  // listing needs no display
    wxApp::SetInstance(new MainWindow);  // the library owns the application object
    if (!wxEntryStart(argc, argv))
        return 2;
    const int result = RUN_ALL_TESTS();
    wxEntryCleanup();
    return result;
}
