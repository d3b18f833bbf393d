// Test entry point: wx's non-GUI classes need the library initialised.
#include <gtest/gtest.h>
#include <wx/init.h>
#include <wx/log.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    wxInitializer wx;
    if (!wx.IsOk())
        return 2;
    wxLog::SetLogLevel(wxLOG_Max);
    return RUN_ALL_TESTS();
}
