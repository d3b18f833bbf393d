// Leaks inside the desktop libraries under wx (allocated once per process by
// GTK, GLib, D-Bus and fontconfig) are not ours to fix. Built into the test
// programs so that even listing their tests under LeakSanitizer stays quiet.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n"
           "leak:libglib-2.0.so\n"
           "leak:libgobject-2.0.so\n"
           "leak:libgio-2.0.so\n"
           "leak:libgtk-3.so\n"
           "leak:libgdk-3.so\n"
           "leak:libfontconfig.so\n"
           "leak:libpango\n"
           "leak:libcairo.so\n"
           "leak:libX11.so\n";
}
