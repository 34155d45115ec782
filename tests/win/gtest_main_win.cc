// The main of every Windows test program: COM initialised apartment-threaded
// on the test thread (as the host's user-interface thread is), and no error
// dialog boxes, so that a failure ends the run instead of waiting for a click.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  testing::InitGoogleTest(&argc, argv);
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int result = RUN_ALL_TESTS();
  if (SUCCEEDED(com))
    CoUninitialize();
  return result;
}
